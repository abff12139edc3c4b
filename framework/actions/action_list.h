#pragma once
// Action lists: each links its actions to the script component (every action
// becomes a script procedure at each compile), to the command-line switches
// and to the preferences.

#include "framework/actions/action_base.h"
#include "framework/actions/action_prefs.h"
#include "framework/actions/script_link.h"
#include "framework/actions/switch.h"

#include <QPointer>

#include <functional>

class TCustomAbstractAction;

class TCustomKvActionList : public TTntActionList
{
    Q_OBJECT
public:
    using TListLoadEvent = std::function<bool(TActionPreferences& gp)>;
    using TListSaveEvent = std::function<bool(TActionPreferences& gp)>;

    explicit TCustomKvActionList(QObject* owner = nullptr);
    ~TCustomKvActionList() override;

    TListLoadEvent OnLoadFromPrefs;
    TListSaveEvent OnSaveToPrefs;

    TScriptLink* PascalScript() const { return FPascalScript; }
    // Chains the list into the script's compile handler; null unlinks and
    // gives the script back the handler it had before.
    void SetPascalScript(TScriptLink* script);
    TKvSwitch* Switch() const { return FSwitch; }
    // Moves the list's switch names to `aSwitch`.
    void SetSwitch(TKvSwitch* aSwitch);

    // The list's compile handler: the handler that was there before first,
    // then every action's script procedures in list order.
    void DoScriptCompile(TScriptLink* sender);

    // The first action whose identity is exactly `id` (case matters).
    TCustomAbstractAction* FindByInternalId(const QString& id) const;
    template <class A> A* Find(const QString& id) const { return dynamic_cast<A*>(FindByInternalId(id)); }

    // Loads (saves) every action that takes part in the preferences, then the
    // list's own event. False when any of them failed; the others still run.
    // The caller has opened the form's key.
    bool LoadFromPrefs(TActionPreferences& gp);
    bool SaveToPrefs(TActionPreferences& gp);

    // Every action of the list that is one of ours, in list order.
    QList<TCustomAbstractAction*> AbstractActions() const;

private:
    friend class TScriptLink;
    // Runs `operation` on every action that takes part in the preferences,
    // then the list's own event.
    bool ForPrefs(TActionPreferences& gp, bool (TCustomAbstractAction::*operation)(TActionPreferences&),
                  const TListLoadEvent& listEvent);

    TScriptLink* FPascalScript = nullptr;
    TScriptLink::TCompileEvent FPreviousCompile;
    QPointer<TKvSwitch> FSwitch;
    QMetaObject::Connection FSwitchDestroyed;
};

class TKvActionList : public TCustomKvActionList
{
    Q_OBJECT
public:
    using TCustomKvActionList::TCustomKvActionList;
};
