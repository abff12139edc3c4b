#include "framework/preferences/save_prefs_form.h"

#include "framework/widgets/link_edit.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

TSavePrefsForm::TSavePrefsForm(QWidget* parent) : QDialog(parent)
{
    Text = new TLinkEdit(this);
    Text->SetRichText(QStringLiteral(
        "<br><size 10><i>Do you want to save your preferences and find them again on next start?<br><br>Click on "
        "your choice:</i><br><br>* either to save them in the registry (normal mode).<br>* either to save them in an "
        "ini-file (portable mode).<br>* either not to save them. In the last case, all preferences will be lost, and "
        "the default values will be loaded on the next start.<br></size>"));
    // Shown as a label on the dialog, not as an edit box.
    Text->setFrameShape(QFrame::NoFrame);
    Text->viewport()->setAutoFillBackground(false);
    Text->setFocusPolicy(Qt::NoFocus);

    NormalBtn = AddChoice(
        QStringLiteral("Normal"),
        QStringLiteral("Save the Preferences in the registry.\r\nIf an ini file existed, it will be deleted."),
        spRegistre);
    PortableBtn =
        AddChoice(QStringLiteral("Portable"),
                  QStringLiteral("Saves the preferences to an ini file.\r\nDeletes the preferences from the registry."),
                  spPortable);
    AucunBtn = AddChoice(QStringLiteral("None"),
                         QStringLiteral("Exit without saving the preferences.\r\nIf they existed in an ini-file or "
                                        "in the registry,\r\nthey will be deleted."),
                         spNone);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {NormalBtn, PortableBtn, AucunBtn})
        buttons->addWidget(button);
    // Enter keeps the preferences in the normal place; Tab goes to the others,
    // Esc answers nothing (the window stays open).
    NormalBtn->setDefault(true);
    NormalBtn->setFocus();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text);
    layout->addLayout(buttons);
    setFixedSize(480, 250);
}

QPushButton* TSavePrefsForm::AddChoice(const QString& caption, const QString& hint, TSavePreferences choice)
{
    auto* button = new QPushButton(caption, this);
    button->setAutoDefault(false);
    // The hints are written with Windows line ends; a tooltip wants plain ones.
    button->setToolTip(QString(hint).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    connect(button, &QPushButton::clicked, this, [this, choice] {
        FChoice = choice;
        FAnswered = true;
        accept();
    });
    return button;
}

void TSavePrefsForm::SetCaption(const QString& caption)
{
    setWindowTitle(caption);
}

QString TSavePrefsForm::Caption() const
{
    return windowTitle();
}

std::optional<TSavePreferences> TSavePrefsForm::Execute()
{
    FAnswered = false;
    exec();
    return FAnswered ? std::optional(FChoice) : std::nullopt;
}

void TSavePrefsForm::ShowSaveError(const QString& message)
{
    QMessageBox::warning(parentWidget(), windowTitle(), message);
}
