#pragma once
// The one way to wait for an answer on the user-interface thread: the calling thread's event
// loop runs (so the window stays live and nested waits work) until a condition holds. Time
// limits belong to what is waited for (a request's own timers end it), not to the wait.
// Exceptions raised by event handlers never cross Qt's event loop: they go to the waiting call.
#include <exception>
#include <functional>

namespace tavimo {

// Handles what is waiting in the calling thread's queue, without blocking.
void ProcessMessages();
// Where an exception raised by a message handler during a wait goes: out of the waiting call
// (which then returns at once), or to the unhandled-exception handler while the wait goes on
// (for a call that must not return before its own outcome).
enum class HandlerErrors { ToWaitingCall, ToErrorHandler };
// Handles events, blocking in the event loop while none are waiting (never spins), until done()
// holds. done() is asked again after every batch of events handled, before the loop may block:
// an event handled just before a wait can end it. done() may itself take what it waits for (it
// runs on this thread, between batches); what it throws leaves the wait.
void WaitUntil(const std::function<bool()>& done, HandlerErrors errors = HandlerErrors::ToWaitingCall);

// An exception that escapes a message handler never crosses Qt's event loop. If a waiting
// call (WaitUntil) that takes them is active it is handed to that caller; otherwise it goes here
// (by default to stderr; the desktop program's application object installs its error box).
using UnhandledExceptionHandler = std::function<void(std::exception_ptr)>;
void SetUnhandledExceptionHandler(UnhandledExceptionHandler handler);
// Runs fn under the guard above; used by the message windows and the socket notices.
void DispatchGuarded(const std::function<void()>& fn);

}  // namespace tavimo
