#include "framework/managers/action_component.h"

#include "platform/win/messages.h"

TKvActionComponent::TKvActionComponent(QObject* owner) : TCustomKvActionList(owner)
{
    FHandle = AllocateHWnd([this](UINT msg, WPARAM wParam, LPARAM lParam) {
        TMessage message{msg, wParam, lParam, 0};
        // A failing message answers 0; the loop that delivered it goes on.
        if (!RunShielded("window procedure", [&] { WndProc(message); }))
            message.Result = 0;
        return message.Result;
    });
}

TKvActionComponent::~TKvActionComponent()
{
    DeallocateHWnd(FHandle);
    // The actions sit under the window that owns the manager, but their
    // handlers call into the manager: they go with it.
    const QList<TTntCustomAction*> actions = ActionsInOrder();
    qDeleteAll(actions);
}

void TKvActionComponent::WndProc(TMessage& message)
{
    message.Result = 0;
}

void TKvActionComponent::CreateActions()
{
    ListActions(TActionBinder(*this, true));
}

void TKvActionComponent::FindActions()
{
    ListActions(TActionBinder(*this, false));
}
