// CWorkerThread: the base of the program's worker threads (the page list's
// watch thread, the download dialogs' workers). A derived class overrides Run.
//
// Threads are never killed. Stop from another thread asks the thread to end
// (IsStopRequested turns true) and then waits until Run has returned, so once
// Stop returns no thread runs that can still touch this object. Run must
// therefore be able to end: an owner whose Run blocks in a long operation
// makes it return first (the page list cancels its downloader), for instance
// by overriding Stop to do that before calling the base version.
//
// Destruction: the base destructor stops and joins a thread that still runs,
// but by then the derived part is already gone. A derived class whose Run uses
// its own members must stop the thread in its own destructor. Destroying the
// object on its own worker thread is allowed: the thread is then detached and
// touches nothing of the object after Run returns.
//
// Every member function may be called from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "base/Lock.h"

namespace tallyhawk {

class CWorkerThread {
public:
    CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;
    virtual ~CWorkerThread();

    // Starts a thread that calls Run. false when a thread already runs or the
    // system could not create one.
    virtual bool Start();

    // false when no thread runs. Called on the worker itself, it records the
    // exit code and the stop request and returns at once; the thread ends when
    // Run returns. Called on any other thread, it records both and waits
    // (without limit) until Run has returned. The thread's exit code is then
    // `exitCode`, whatever Run returns.
    virtual bool Stop(std::uint32_t exitCode);

    // The body of the thread; its result is the thread's exit code. An
    // exception that leaves Run is swallowed and the exit code is 0.
    virtual std::uint32_t Run();

    // A started thread has not yet ended.
    bool IsRunning() const;
    // The caller is the running worker thread.
    bool IsCurrentThread() const;
    // Waits at most `milliseconds` (kInfinite: without limit) for the thread
    // to end; true when it ended in time or no thread runs. The thread keeps
    // running after a time-out.
    bool Wait(std::uint32_t milliseconds);
    // Exit code of the last thread that ended (0 before).
    std::uint32_t GetExitCode() const;

protected:
    // Stop was called for the current thread.
    bool IsStopRequested() const;

private:
    // What the thread shares with its owner; the thread holds its own
    // reference, so it may outlive an owner destroyed on the worker itself.
    struct State {
        mutable std::mutex lock;
        std::condition_variable ended;
        bool running = false;          // guarded by lock
        bool stopRequested = false;    // guarded by lock
        std::uint32_t exitCode = 0;    // guarded by lock
        std::thread::id id;            // guarded by lock
    };

    static void ThreadProcedure(std::shared_ptr<State> state, CWorkerThread* self);

    std::shared_ptr<State> state;
    std::thread thread;  // guarded by state->lock; joinable until joined or detached
};

}  // namespace tallyhawk
