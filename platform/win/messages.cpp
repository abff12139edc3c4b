#include "platform/win/messages.h"

#include <chrono>
#include <thread>

HWND AllocateHWnd(WindowProc)
{
    return 0;
}
void DeallocateHWnd(HWND) {}
bool IsWindow(HWND)
{
    return false;
}
bool PostMessage(HWND, UINT, WPARAM, LPARAM)
{
    return false;
}
LRESULT SendMessage(HWND, UINT, WPARAM, LPARAM, CancelToken*)
{
    return 0;
}
bool ReplyMessage(LRESULT)
{
    return false;
}
bool InSendMessage()
{
    return false;
}
void ProcessMessages() {}
bool WaitServingMessages(const std::function<bool()>& done, int)
{
    return done();
}
void Sleep(DWORD ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
