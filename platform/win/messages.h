#pragma once
// Message windows: a handle names a window procedure that runs on the GUI
// thread (the thread of the QCoreApplication). Posted messages are queued and
// dispatched by the Qt event loop; sent messages run at once on the GUI thread
// or, from another thread, block the sender until the GUI thread has handled
// them. Every wait on the GUI thread goes through WaitServingMessages so that a
// streaming thread blocked in a send can never deadlock against it.

#include "platform/core/cancel_token.h"
#include "platform/core/types.h"

#include <functional>

// The first message number free for a program's own messages.
constexpr UINT WM_USER = 0x0400;

using WindowProc = std::function<LRESULT(UINT msg, WPARAM wParam, LPARAM lParam)>;

// Creates a message window on the GUI thread. Handles are never reused while
// the program runs, so a stale handle can only ever name a dead window.
// Returns 0 when called off the GUI thread or without a QCoreApplication.
HWND AllocateHWnd(WindowProc proc);

// Destroys the window: queued messages to it are dropped and every send
// blocked on it is released with result 0.
void DeallocateHWnd(HWND wnd);

bool IsWindow(HWND wnd);

// Queues a message for the window's procedure; any thread. False for a dead
// window. Handle 0 is the GUI thread's own queue, which has no procedure: the
// message is accepted and goes nowhere.
bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// On the GUI thread: calls the procedure directly. From another thread: blocks
// until the GUI thread has run the procedure or the procedure called
// ReplyMessage. Returns 0 at once for a dead window, and releases the sender
// with 0 when the window dies or `cancel` fires while it waits (a send that has
// not started by then is dropped).
LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, CancelToken* cancel = nullptr);

// Inside a procedure serving a send from another thread: releases the sender
// now with `result`; the procedure's own return value is then ignored. False
// when the current message was not sent from another thread.
bool ReplyMessage(LRESULT result);

// True while the GUI thread runs a procedure for a send from another thread.
bool InSendMessage();

// Pumps pending Qt events (posted messages among them) and serves pending sends.
void ProcessMessages();

// The one way the GUI thread waits: it keeps serving sends (posted messages
// wait) until `done` returns true or `timeoutMs` has passed (negative: no
// limit). Returns the last value of done(). Off the GUI thread it only waits.
// The condition is looked at again after each send served and each
// WakeWaits or ExpectWake, and at nothing else: whatever makes it true wakes
// the wait.
bool WaitServingMessages(const std::function<bool()>& done, int timeoutMs);

// Has every WaitServingMessages look at its condition again at once; any
// thread. Whoever makes a condition that a wait may be waiting for true calls
// it after the change.
void WakeWaits();

// Tells a WaitServingMessages on the GUI thread that what it waits for, or a
// send, follows shortly (a picture is on its way to a renderer): the wait
// wakes now and looks out for it for a while before it sleeps again, so the
// GUI thread is not still waking when it comes. Any thread.
void ExpectWake();

// Blocks the calling thread; serves nothing.
void Sleep(DWORD ms);
