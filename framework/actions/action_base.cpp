#include "framework/actions/action_base.h"

#include <QAction>

QIcon TCustomImageList::Icon(int index) const
{
    return index >= 0 && index < Count() ? FImages.at(index) : QIcon();
}

int TCustomImageList::Add(const QIcon& icon)
{
    FImages.append(icon);
    emit changed();
    return Count() - 1;
}

void TCustomImageList::Clear()
{
    FImages.clear();
    emit changed();
}

TTntCustomAction::TTntCustomAction(QObject* owner) : QObject(owner) {}

TTntCustomAction::~TTntCustomAction()
{
    if (FActionList)
        FActionList->FActions.removeOne(this);
}

void TTntCustomAction::Changed()
{
    for (const QPointer<QAction>& action : std::as_const(FBound))
        if (action)
            Sync(action);
    emit changed();
}

void TTntCustomAction::SetCaption(const QString& caption)
{
    Assign(FCaption, caption);
}

void TTntCustomAction::SetHint(const QString& hint)
{
    Assign(FHint, hint);
}

void TTntCustomAction::SetShortCut(const QKeySequence& shortCut)
{
    Assign(FShortCut, shortCut);
}

void TTntCustomAction::SetSecondaryShortcuts(const QList<QKeySequence>& shortCuts)
{
    Assign(FSecondaryShortcuts, shortCuts);
}

void TTntCustomAction::SetVisible(bool visible)
{
    Assign(FVisible, visible);
}

void TTntCustomAction::SetEnabled(bool enabled)
{
    Assign(FEnabled, enabled);
}

void TTntCustomAction::SetChecked(bool checked)
{
    Assign(FChecked, checked);
}

void TTntCustomAction::SetAutoCheck(bool autoCheck)
{
    Assign(FAutoCheck, autoCheck);
}

void TTntCustomAction::SetImageIndex(int index)
{
    Assign(FImageIndex, index);
}

void TTntCustomAction::SetActionList(TTntActionList* list)
{
    if (list == FActionList)
        return;
    if (FActionList)
        FActionList->FActions.removeOne(this);
    FActionList = list;
    if (FActionList)
        FActionList->FActions.append(this);
    Changed();
}

bool TTntCustomAction::Execute()
{
    if (!FEnabled || !OnExecute)
        return false;
    if (FAutoCheck)
        SetChecked(!FChecked);
    OnExecute(this);
    return true;
}

void TTntCustomAction::Sync(QAction* action) const
{
    // An action without a caption is named by its hint's first line, so that
    // no menu entry is blank.
    action->setText(FCaption.isEmpty() ? FHint.section(u'\n', 0, 0) : FCaption);
    action->setToolTip(FHint);
    action->setStatusTip(FHint);
    QList<QKeySequence> keys;
    if (!FShortCut.isEmpty())
        keys.append(FShortCut);
    keys.append(FSecondaryShortcuts);
    action->setShortcuts(keys);
    action->setVisible(FVisible);
    action->setEnabled(FEnabled);
    action->setChecked(FChecked);
    action->setIcon(FActionList && FActionList->Images() ? FActionList->Images()->Icon(FImageIndex) : QIcon());
}

void TTntCustomAction::Bind(QAction* action)
{
    if (!action || BoundActions().contains(action))
        return;
    FBound.append(action);
    Sync(action);
    // A checkable QAction has flipped its own state before it reports the
    // trigger; put the action's state back first and let the action decide.
    connect(action, &QAction::triggered, this, [this, action] {
        action->setChecked(FChecked);
        RunShielded("action", [this] { Execute(); });
    });
    connect(action, &QObject::destroyed, this,
            [this] { FBound.removeIf([](const QPointer<QAction>& a) { return a.isNull(); }); });
}

void TTntCustomAction::Unbind(QAction* action)
{
    if (FBound.removeAll(action) > 0)
        disconnect(action, nullptr, this, nullptr);
}

QList<QAction*> TTntCustomAction::BoundActions() const
{
    QList<QAction*> actions;
    for (const QPointer<QAction>& action : FBound)
        if (action)
            actions.append(action);
    return actions;
}

TTntActionList::TTntActionList(QObject* owner) : QObject(owner) {}

TTntActionList::~TTntActionList()
{
    for (TTntCustomAction* action : std::as_const(FActions))
        action->FActionList = nullptr;
}

void TTntActionList::SetImages(TCustomImageList* images)
{
    if (images == FImages)
        return;
    disconnect(FImagesChanged);
    FImages = images;
    const auto refresh = [this] {
        for (TTntCustomAction* action : std::as_const(FActions))
            action->Changed();
    };
    if (images)
        FImagesChanged = connect(images, &TCustomImageList::changed, this, refresh);
    refresh();
}
