#include "system/Sync.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace tidora {
namespace {

struct HandOver {
    const std::function<void()>* Proc;
    std::exception_ptr Error;
    bool Done = false;
};

constexpr UINT WM_HANDOVER = WM_APP + 0x4D;

struct State {
    std::mutex Lock;
    std::condition_variable DoneSignal;
    std::deque<HandOver*> Queue;
    std::atomic<DWORD> MainThreadId{0};
    UniqueHandle QueuedEvent;  // auto-reset: set when the queue gains work
    HWND Window = nullptr;     // wakes modal loops too; optional without a display
    // One wake-up message at a time: a thread that hands over often would
    // otherwise leave a message per call in the queue, and a pump that serves
    // them one by one could be kept busy by that thread for ever.
    std::atomic<bool> WakeUpPosted{false};
};

State& Shared() {
    static State state;
    return state;
}

LRESULT CALLBACK HandOverWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_HANDOVER) {
        // Out of the queue: what is handed over from now on posts its own.
        Shared().WakeUpPosted = false;
        ServeHandOvers();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND CreateHandOverWindow() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = HandOverWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TidoraHandOver";
    RegisterClassExW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           wc.hInstance, nullptr);
}

} // namespace

void InitMainThread() {
    State& s = Shared();
    if (!s.QueuedEvent) s.QueuedEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    s.MainThreadId.store(GetCurrentThreadId());
    if (!s.Window) s.Window = CreateHandOverWindow();
}

bool IsMainThread() {
    return Shared().MainThreadId.load() == GetCurrentThreadId();
}

HANDLE HandOverEvent() {
    return Shared().QueuedEvent.get();
}

void Synchronize(const std::function<void()>& Proc) {
    State& s = Shared();
    if (s.MainThreadId.load() == 0 || IsMainThread()) {
        Proc();
        return;
    }
    HandOver item{&Proc, nullptr, false};
    {
        std::lock_guard<std::mutex> guard(s.Lock);
        s.Queue.push_back(&item);
    }
    SetEvent(s.QueuedEvent.get());
    if (s.Window && !s.WakeUpPosted.exchange(true) && !PostMessageW(s.Window, WM_HANDOVER, 0, 0))
        s.WakeUpPosted = false;
    {
        std::unique_lock<std::mutex> guard(s.Lock);
        s.DoneSignal.wait(guard, [&] { return item.Done; });
    }
    if (item.Error) std::rethrow_exception(item.Error);
}

bool ServeHandOvers() {
    State& s = Shared();
    if (!IsMainThread()) return false;
    bool ranAny = false;
    // What was waiting now, not what workers keep adding meanwhile: a worker
    // that hands over in a loop would otherwise hold this thread here.
    size_t waiting;
    {
        std::lock_guard<std::mutex> guard(s.Lock);
        waiting = s.Queue.size();
    }
    for (; waiting > 0; --waiting) {
        HandOver* item = nullptr;
        {
            std::lock_guard<std::mutex> guard(s.Lock);
            if (s.Queue.empty()) break;
            item = s.Queue.front();
            s.Queue.pop_front();
        }
        try {
            (*item->Proc)();
        } catch (...) {
            item->Error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> guard(s.Lock);
            item->Done = true;
        }
        s.DoneSignal.notify_all();
        ranAny = true;
    }
    return ranAny;
}

bool TakeHandOverWakeUp(const MSG& Msg) {
    State& s = Shared();
    if (Msg.message != WM_HANDOVER || !Msg.hwnd || Msg.hwnd != s.Window) return false;
    s.WakeUpPosted = false;
    return true;
}

DWORD WaitServing(HANDLE Handle, DWORD TimeoutMs) {
    if (!IsMainThread()) return WaitForSingleObject(Handle, TimeoutMs);
    const ULONGLONG start = GetTickCount64();
    HANDLE handles[2] = {Handle, HandOverEvent()};
    for (;;) {
        // A hand-over whose signal another wait took is still served here.
        ServeHandOvers();
        DWORD left = INFINITE;
        if (TimeoutMs != INFINITE) {
            ULONGLONG spent = GetTickCount64() - start;
            left = spent >= TimeoutMs ? 0 : static_cast<DWORD>(TimeoutMs - spent);
        }
        DWORD r = WaitForMultipleObjects(2, handles, FALSE, left);
        if (r == WAIT_OBJECT_0 + 1) continue;
        return r == WAIT_OBJECT_0 ? WAIT_OBJECT_0 : r == WAIT_TIMEOUT ? WAIT_TIMEOUT : WAIT_FAILED;
    }
}

TBackgroundThread::~TBackgroundThread() {
    Terminate();
    WaitFor();
}

void TBackgroundThread::Start(std::function<void(TBackgroundThread&)> Body) {
    FDone.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE done = FDone.get();
    FThread = std::thread([this, done, body = std::move(Body)] {
        try {
            body(*this);
        } catch (...) {
            // A background body has no caller to report to; ending is the answer.
        }
        SetEvent(done);
    });
}

bool TBackgroundThread::Finished() const {
    return !FDone || WaitForSingleObject(FDone.get(), 0) == WAIT_OBJECT_0;
}

void TBackgroundThread::WaitFor() {
    if (!FThread.joinable()) return;
    if (FDone) WaitServing(FDone.get(), INFINITE);
    FThread.join();
}

} // namespace tidora
