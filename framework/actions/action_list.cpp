#include "framework/actions/action_list.h"

#include "framework/actions/actions.h"
#include "framework/actions/switch.h"

TScriptLink::~TScriptLink()
{
    for (TCustomKvActionList* list : std::as_const(FLinkedLists))
        list->FPascalScript = nullptr;
}

TCustomKvActionList::TCustomKvActionList(QObject* owner) : TTntActionList(owner) {}

TCustomKvActionList::~TCustomKvActionList()
{
    // The compile handler installed in the script checks that the list is
    // still alive, so the script's chain stays whole without it.
    if (FPascalScript)
        FPascalScript->FLinkedLists.removeOne(this);
    SetSwitch(nullptr);
}

void TCustomKvActionList::SetPascalScript(TScriptLink* script)
{
    if (FPascalScript) {
        FPascalScript->FLinkedLists.removeOne(this);
        // Give the old script its own handler back, whether it is unlinked or
        // replaced: a handler left behind would register this list there too.
        FPascalScript->SetOnCompile(FPreviousCompile);
        FPascalScript = nullptr;
        FPreviousCompile = nullptr;
    }
    if (!script)
        return;
    FPascalScript = script;
    FPreviousCompile = script->OnCompile();
    script->SetOnCompile(
        [self = QPointer<TCustomKvActionList>(this), previous = FPreviousCompile](TScriptLink* sender) {
            if (self)
                self->DoScriptCompile(sender);
            else if (previous)
                previous(sender);
        });
    script->FLinkedLists.append(this);
}

void TCustomKvActionList::DoScriptCompile(TScriptLink* sender)
{
    if (FPreviousCompile)
        FPreviousCompile(sender);
    if (!FPascalScript)
        return;
    // A rejected declaration does not stop the others.
    for (TCustomAbstractAction* action : AbstractActions())
        action->RegisterInScript(*FPascalScript);
}

void TCustomKvActionList::SetSwitch(TKvSwitch* aSwitch)
{
    if (aSwitch == FSwitch)
        return;
    if (FSwitch) {
        disconnect(FSwitchDestroyed);
        FSwitch->UnregisterList(this);
    }
    FSwitch = aSwitch;
    if (!aSwitch)
        return;
    aSwitch->RegisterList(this);
    FSwitchDestroyed = connect(aSwitch, &QObject::destroyed, this, [this] { FSwitch = nullptr; });
}

QList<TCustomAbstractAction*> TCustomKvActionList::AbstractActions() const
{
    QList<TCustomAbstractAction*> actions;
    for (TTntCustomAction* action : ActionsInOrder())
        if (auto* ours = qobject_cast<TCustomAbstractAction*>(action))
            actions.append(ours);
    return actions;
}

TCustomAbstractAction* TCustomKvActionList::FindByInternalId(const QString& id) const
{
    for (TCustomAbstractAction* action : AbstractActions())
        if (action->InternalId == id)
            return action;
    return nullptr;
}

bool TCustomKvActionList::LoadFromPrefs(TActionPreferences& gp)
{
    return ForPrefs(gp, &TCustomAbstractAction::LoadFromPrefs, OnLoadFromPrefs);
}

bool TCustomKvActionList::SaveToPrefs(TActionPreferences& gp)
{
    return ForPrefs(gp, &TCustomAbstractAction::SaveToPrefs, OnSaveToPrefs);
}

bool TCustomKvActionList::ForPrefs(TActionPreferences& gp,
                                   bool (TCustomAbstractAction::*operation)(TActionPreferences&),
                                   const TListLoadEvent& listEvent)
{
    bool result = true;
    for (TCustomAbstractAction* action : AbstractActions())
        if (action->IncludePrefs && !(action->*operation)(gp))
            result = false;
    if (listEvent) {
        // The list's own event never raises either.
        try {
            if (!listEvent(gp))
                result = false;
        } catch (...) {
            result = false;
        }
    }
    return result;
}
