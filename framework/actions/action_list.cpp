#include "framework/actions/action_list.h"

#include "framework/actions/actions.h"
#include "framework/actions/switch.h"

TScriptLink::~TScriptLink()
{
    for (TCustomKvActionList* list : std::as_const(FLinkedLists)) {
        list->FPascalScript = nullptr;
        list->FCompileLink.reset();
    }
}

TCustomKvActionList::TCustomKvActionList(QObject* owner) : TTntActionList(owner) {}

TCustomKvActionList::~TCustomKvActionList()
{
    UnlinkScript();
    SetSwitch(nullptr);
}

void TCustomKvActionList::UnlinkScript()
{
    if (!FPascalScript)
        return;
    QList<TCustomKvActionList*>& linked = FPascalScript->FLinkedLists;
    // Only the list linked last is sure to hold the script's handler; it
    // gives the script the handler it found there. One linked earlier sits
    // under later lists and only steps aside.
    const bool outermost = !linked.isEmpty() && linked.last() == this;
    linked.removeOne(this);
    FCompileLink->active = false;
    if (outermost)
        FPascalScript->SetOnCompile(FCompileLink->previous);
    FPascalScript = nullptr;
    FCompileLink.reset();
}

void TCustomKvActionList::SetPascalScript(TScriptLink* script)
{
    // Whether the script is unlinked or replaced, the list leaves the old
    // script's chain: a handler left behind would register it there too.
    UnlinkScript();
    if (!script)
        return;
    FPascalScript = script;
    FCompileLink = std::make_shared<TCompileLink>(TCompileLink{script->OnCompile()});
    script->SetOnCompile([this, link = FCompileLink](TScriptLink* sender) {
        if (link->active)
            DoScriptCompile(sender);
        else if (link->previous)
            link->previous(sender);
    });
    script->FLinkedLists.append(this);
}

void TCustomKvActionList::DoScriptCompile(TScriptLink* sender)
{
    if (FCompileLink && FCompileLink->previous)
        FCompileLink->previous(sender);
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
