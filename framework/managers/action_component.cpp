#include "framework/managers/action_component.h"

#include "platform/win/messages.h"

TKvActionComponent::TKvActionComponent(QObject* owner) : TCustomKvActionList(owner)
{
    FHandle = AllocateHWnd([this](UINT msg, WPARAM wParam, LPARAM lParam) {
        TMessage message{msg, wParam, lParam, 0};
        WndProc(message);
        return message.Result;
    });
}

TKvActionComponent::~TKvActionComponent()
{
    DeallocateHWnd(FHandle);
}

void TKvActionComponent::WndProc(TMessage& message)
{
    message.Result = 0;
}
