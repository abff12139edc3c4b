#include "framework/managers/help_form.h"

#include "framework/actions/actions.h"
#include "framework/widgets/link_edit.h"

#include <QEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

THelpForm* HelpForm = nullptr;

namespace {

const QString kMissing = QStringLiteral("zzz");

// Geometry of the window's parts; the rest follows the window's size.
constexpr int kMargin = 8;
constexpr int kListWidth = 240;
constexpr int kNameHeight = 30;
constexpr int kHintHeight = 48;
constexpr int kDeclarationHeight = 72;
constexpr int kSwitchHeight = 30;

QString ShortcutText(const TCustomAbstractAction& action)
{
    return action.ShortCut().toString(QKeySequence::NativeText);
}

// The action of a help list's current row; the list holds nothing else.
TCustomAbstractAction* SelectedAction(const TObjetListBox* list)
{
    const auto* objet = list ? static_cast<const TActionObjet*>(list->Objet(list->currentRow())) : nullptr;
    return objet ? objet->Action() : nullptr;
}

TLinkEdit* NewLabel(QWidget* parent)
{
    auto* label = new TLinkEdit(parent);
    label->setFrameShape(QFrame::NoFrame);
    label->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return label;
}

} // namespace

const TSortIndex& ShortcutSortIndex()
{
    static const TSortIndex shortcut{1, QStringLiteral("shortcut"), QStringLiteral("by shortcut"),
                                     QStringLiteral("sorted by shortcut")};
    return shortcut;
}

const TSortIndex& SwitchSortIndex()
{
    static const TSortIndex byswitch{2, QStringLiteral("switch"), QStringLiteral("by switch"),
                                     QStringLiteral("sorted by switch")};
    return byswitch;
}

TActionObjet::TActionObjet(TCustomAbstractAction* action) : FAction(action) {}

QString TActionObjet::Text(const TSortIndex& sort) const
{
    if (!FAction)
        return QString();
    const QString& name = FAction->ScriptName;
    const auto orNone = [&](const QString& first) { return (first.isEmpty() ? kMissing : first) + name; };
    if (sort.Id == ShortcutSortIndex().Id)
        return orNone(ShortcutText(*FAction));
    if (sort.Id == SwitchSortIndex().Id)
        return orNone(FAction->Switch);
    return name;
}

THelpForm::THelpForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Help for Shortcuts, Scripts and Macros"));
    resize(680, 440);

    FPages = new QTabWidget(this);
    connect(FPages, &QTabWidget::currentChanged, this, [this] { ShowSelected(); });

    FSortMenu = new QMenu(this);
    const struct
    {
        const char* caption;
        const TSortIndex& sort;
    } items[] = {{"Alphabetical order", AlphaSortIndex()},
                 {"Sort by Shortcuts", ShortcutSortIndex()},
                 {"Sort by Switch", SwitchSortIndex()}};
    for (const auto& item : items) {
        const TSortIndex sort = item.sort;
        QAction* entry = FSortMenu->addAction(QString::fromLatin1(item.caption));
        connect(entry, &QAction::triggered, this, [this, sort] { SortAll(sort); });
    }

    FName = NewLabel(this);
    FHint = NewLabel(this);
    FDeclaration = new QPlainTextEdit(this);
    FDeclaration->setReadOnly(true);
    FDeclaration->setLineWrapMode(QPlainTextEdit::NoWrap);
    FSwitch = NewLabel(this);
    FComments = NewLabel(this);
}

THelpForm::~THelpForm()
{
    if (HelpForm == this)
        HelpForm = nullptr;
}

TObjetListBox* THelpForm::ListOf(const QString& title) const
{
    for (int page = 0; page < FPages->count(); ++page)
        if (FPages->tabText(page) == title)
            return FPages->widget(page)->findChild<TObjetListBox*>();
    return nullptr;
}

TObjetListBox* THelpForm::ActiveList() const
{
    QWidget* page = FPages->currentWidget();
    return page ? page->findChild<TObjetListBox*>() : nullptr;
}

TObjetListBox* THelpForm::NewPage(const QString& title)
{
    auto* page = new QWidget;
    auto* list = new TObjetListBox(page);
    list->setObjectName(QStringLiteral("lb%1").arg(++FPageCount));
    list->setToolTip(QStringLiteral("Click with the right button to sort"));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint& at) { FSortMenu->popup(list->viewport()->mapToGlobal(at)); });
    connect(list, &QListWidget::currentRowChanged, this, [this, list] {
        if (list == ActiveList())
            ShowSelected();
    });
    connect(list, &QListWidget::itemDoubleClicked, this, [this, list] { RunSelected(list); });
    auto* fill = new QVBoxLayout(page);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(list);
    FPages->addTab(page, title);
    return list;
}

void THelpForm::AddActionList(const QString& title, const TTntActionList& list)
{
    TObjetListBox* box = ListOf(title);
    if (!box)
        box = NewPage(title);
    for (TTntCustomAction* action : list.ActionsInOrder())
        if (auto* ours = qobject_cast<TCustomAbstractAction*>(action))
            box->AddObjet(std::make_unique<TActionObjet>(ours));
    if (box->Count() == 0)
        return;
    box->SetSortIndex(AlphaSortIndex());
    box->Resort();
    box->setCurrentRow(0);
    ShowSelected();
}

void THelpForm::SortAll(const TSortIndex& sort)
{
    for (int page = 0; page < FPages->count(); ++page) {
        if (auto* list = FPages->widget(page)->findChild<TObjetListBox*>()) {
            list->SetSortIndex(sort);
            list->Resort();
        }
    }
    ShowSelected();
}

void THelpForm::ShowSelected()
{
    ShowAction(SelectedAction(ActiveList()));
}

void THelpForm::ShowAction(TCustomAbstractAction* action)
{
    if (!action) {
        for (TLinkEdit* label : {FName, FHint, FSwitch, FComments})
            label->SetRichText(QString());
        FDeclaration->clear();
        return;
    }
    FName->SetRichText(action->ScriptName + QStringLiteral("    <size 12><color Black>") + ShortcutText(*action) +
                       QStringLiteral("</color></size>"));
    FHint->SetRichText(action->Hint());
    FDeclaration->setPlainText(action->GetDeclaration());
    const QString syntax = action->Switch.isEmpty() ? QStringLiteral("N/A") : action->GetSwitchSyntax();
    FSwitch->SetRichText(QStringLiteral("<i>Switch:    </i><B><color Navy><size 10>") + syntax +
                         QStringLiteral("</size></color></B>"));
    FComments->SetRichText(action->Comments.join(QStringLiteral("<br>")));
}

void THelpForm::RunSelected(TObjetListBox* list)
{
    if (TCustomAbstractAction* action = SelectedAction(list))
        action->Execute();
}

void THelpForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int top = kMargin;
    FPages->setGeometry(kMargin, top, kListWidth, height() - top - kMargin);
    const int left = kMargin + kListWidth + kMargin;
    const int width = qMax(0, this->width() - left - kMargin);
    int y = top;
    const auto place = [&](QWidget* part, int height) {
        part->setGeometry(left, y, width, height);
        y += height + 4;
    };
    place(FName, kNameHeight);
    place(FHint, kHintHeight);
    place(FDeclaration, kDeclarationHeight);
    place(FSwitch, kSwitchHeight);
    place(FComments, qMax(kSwitchHeight, height() - y - kMargin));
}

void THelpForm::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        ShowSelected();
}
