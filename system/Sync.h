#pragma once
// The one way work gets back to the user-interface thread: a background thread
// hands a procedure over and waits until the UI thread has run it. A UI thread
// that itself waits for a background thread keeps serving hand-overs meanwhile,
// so the two can never block each other.
#include <windows.h>
#include <atomic>
#include <functional>
#include <thread>

#include "system/Handles.h"

namespace tidora {

// Call once on the UI thread before any background thread hands over.
void InitMainThread();
bool IsMainThread();

// Runs Proc on the UI thread and returns when it has run; an exception Proc
// throws is rethrown here. On the UI thread itself (or before InitMainThread)
// Proc runs at once.
void Synchronize(const std::function<void()>& Proc);

// UI thread: runs the hand-overs waiting when it is called (not those queued
// while it runs); true when any ran.
bool ServeHandOvers();

// True for the message that wakes the UI thread's loops for a hand-over, one
// at a time in the queue; a pump that takes it instead of dispatching it must
// call ServeHandOvers afterwards.
bool TakeHandOverWakeUp(const MSG& Msg);

// Signalled whenever a hand-over is waiting; message loops wait on it too.
HANDLE HandOverEvent();

// UI thread: waits for Handle while serving hand-overs. Returns WAIT_OBJECT_0,
// WAIT_TIMEOUT or WAIT_FAILED. Elsewhere it is a plain wait.
DWORD WaitServing(HANDLE Handle, DWORD TimeoutMs);

// A background thread with a termination request its loop looks at, and a wait
// that serves hand-overs when the owner is the UI thread.
class TBackgroundThread {
public:
    TBackgroundThread() = default;
    ~TBackgroundThread();  // asks the thread to stop and waits for it
    TBackgroundThread(const TBackgroundThread&) = delete;
    TBackgroundThread& operator=(const TBackgroundThread&) = delete;

    // Body runs on the new thread; it should return soon after Terminated().
    void Start(std::function<void(TBackgroundThread&)> Body);
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }
    bool Finished() const;
    void WaitFor();

private:
    std::atomic<bool> FTerminated{false};
    UniqueHandle FDone;
    std::thread FThread;
};

} // namespace tidora
