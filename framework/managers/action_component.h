#pragma once
// The base of every manager: an action list with a hidden message window and
// four hooks by which it creates, finds, defaults and wires its own actions.
// Streaming threads reach a manager only through messages to its window, so
// WndProc always runs on the GUI thread.

#include "framework/actions/action_list.h"
#include "framework/actions/actions.h"
#include "platform/core/types.h"

#include <functional>
#include <utility>

struct TMessage
{
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

class TKvActionComponent : public TCustomKvActionList
{
    Q_OBJECT
public:
    ~TKvActionComponent() override;

    // A manager built by code: its actions are created, defaulted and wired.
    template <class M, class... Args> static M* Create(QObject* owner, Args&&... args)
    {
        auto* manager = new M(owner, std::forward<Args>(args)...);
        TKvActionComponent* base = manager;
        base->CreateActions();
        base->SetDefaults();
        base->AssignEvents();
        return manager;
    }

    // A manager whose actions a stored layout holds: `restore` puts them into
    // the list, then the manager finds and wires them.
    template <class M, class... Args>
    static M* Restore(QObject* owner, const std::function<void(M*)>& restore, Args&&... args)
    {
        auto* manager = new M(owner, std::forward<Args>(args)...);
        restore(manager);
        TKvActionComponent* base = manager;
        base->FindActions();
        base->AssignEvents();
        return manager;
    }

    // The hidden window; messages posted or sent to it reach WndProc.
    HWND Handle() const { return FHandle; }

protected:
    // What ListActions hands every action reference to: it creates the action
    // in the list (a manager built by code) or finds the one a layout restored
    // by its identity. A reference stays null when the layout lacks the action
    // or holds another class under that identity.
    class TActionBinder
    {
    public:
        template <class A> void operator()(A*& field, const QString& id) const
        {
            field = FCreate ? TCustomAbstractAction::CreateNamed<A>(&FList, id) : FList.Find<A>(id);
        }
        template <class A> void operator()(A*& field, const char* id) const { (*this)(field, QString::fromLatin1(id)); }

    private:
        friend class TKvActionComponent;
        TActionBinder(TKvActionComponent& list, bool create) : FList(list), FCreate(create) {}

        TKvActionComponent& FList;
        bool FCreate;
    };

    explicit TKvActionComponent(QObject* owner = nullptr);

    // A message of the hidden window; the base answers 0.
    virtual void WndProc(TMessage& message);
    // Assigns the actions' internal handlers; always runs last, once.
    virtual void AssignEvents() {}
    // Names each of the manager's actions once, in list order: bind(field,
    // id). A derived manager lists its base's actions first.
    virtual void ListActions(const TActionBinder&) {}
    // Creates the listed actions in the list.
    virtual void CreateActions();
    // Finds the listed actions among those a layout restored.
    virtual void FindActions();
    // Names, captions, shortcuts, script and switch names and default values.
    virtual void SetDefaults() {}

private:
    HWND FHandle = 0;
};
