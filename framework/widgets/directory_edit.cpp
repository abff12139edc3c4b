#include "framework/widgets/directory_edit.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace {

class QtFolderChooser : public IFolderChooser
{
public:
    bool ChooseFolder(const QString& caption, const QString& root, QString& folder, bool canCreateNew) override
    {
        QFileDialog dialog(QApplication::activeWindow(), caption, folder.isEmpty() ? root : folder);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setOption(QFileDialog::ReadOnly, !canCreateNew);
        dialog.setWindowModality(Qt::ApplicationModal);
        if (!folder.isEmpty())
            dialog.selectFile(folder);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        folder = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
        return true;
    }
};

IFolderChooser* Chooser = nullptr;

} // namespace

void SetFolderChooser(IFolderChooser* chooser)
{
    Chooser = chooser;
}

bool WideSelectDirectory(const QString& caption, const QString& root, QString& folder, bool canCreateNew)
{
    static QtFolderChooser real;
    return (Chooser ? Chooser : &real)->ChooseFolder(caption, root, folder, canCreateNew);
}

TWideDialogEdit::TWideDialogEdit(QWidget* parent)
    : QFrame(parent), Edit_(new QLineEdit(this)), Button_(new QToolButton(this))
{
    Edit_->setReadOnly(true);
    Button_->setIcon(Images->ilMorvek.Icon(MorvekImage::Ouvrir));
    Button_->setAutoRaise(true);
    connect(Button_, &QToolButton::clicked, this, [this] { ButtonClick(); });
    resize(145, 21);
}

void TWideDialogEdit::SetButtonWidth(int width)
{
    ButtonWidth_ = width;
    Arrange();
}

QString TWideDialogEdit::ButtonHint() const
{
    return Button_->toolTip();
}

void TWideDialogEdit::SetButtonHint(const QString& hint)
{
    Button_->setToolTip(hint);
}

QString TWideDialogEdit::Text() const
{
    return Edit_->text();
}

void TWideDialogEdit::SetText(const QString& text)
{
    Edit_->setText(text);
}

QSize TWideDialogEdit::sizeHint() const
{
    return QSize(145, minimumSizeHint().height());
}

QSize TWideDialogEdit::minimumSizeHint() const
{
    // The edit takes the height less 2, the button the height less 4.
    const int height = std::max(Edit_->minimumSizeHint().height() + 2, Button_->minimumSizeHint().height() + 4);
    return QSize(Edit_->minimumSizeHint().width() + ButtonWidth_ + 4, std::max(21, height));
}

void TWideDialogEdit::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    Arrange();
}

void TWideDialogEdit::Arrange()
{
    const int buttonLeft = width() - ButtonWidth_ - 4;
    Edit_->setGeometry(0, 1, buttonLeft, height() - 2);
    Button_->setGeometry(buttonLeft, 1, ButtonWidth_, height() - 4);
}

TWideDirectoryEdit::TWideDirectoryEdit(QWidget* parent) : TWideDialogEdit(parent) {}

void TWideDirectoryEdit::SetFolder(const QString& folder)
{
    Folder_ = folder;
    SetText(folder);
}

void TWideDirectoryEdit::ButtonClick()
{
    QString folder = Folder_;
    if (!WideSelectDirectory(DialogTitle, Root, folder, CanCreateNew))
        return;
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    SetFolder(folder);
    if (OnAfterDialog)
        OnAfterDialog(this, folder);
}
