#include "base/WorkerThread.h"

#include <chrono>
#include <system_error>

namespace tallyhawk {

CWorkerThread::CWorkerThread() : state(std::make_shared<State>()) {}

CWorkerThread::~CWorkerThread() {
    std::unique_lock lock(state->lock);
    if (state->running && state->id == std::this_thread::get_id()) {
        // The owner is destroyed by its own thread: that thread cannot be
        // joined here, and it only touches the shared state from now on.
        thread.detach();
        return;
    }
    lock.unlock();
    Stop(0);
    lock.lock();
    if (thread.joinable()) thread.join();
}

bool CWorkerThread::Start() {
    std::unique_lock lock(state->lock);
    if (state->running) return false;
    // A thread that ended may not have been joined yet; it has nothing left
    // to do but return, so this join is short.
    if (thread.joinable()) thread.join();
    state->stopRequested = false;
    state->exitCode = 0;
    try {
        thread = std::thread(&CWorkerThread::ThreadProcedure, state, this);
    } catch (const std::system_error&) {
        return false;
    }
    state->running = true;
    state->id = thread.get_id();
    return true;
}

bool CWorkerThread::Stop(std::uint32_t exitCode) {
    std::unique_lock lock(state->lock);
    if (!state->running) return false;
    state->exitCode = exitCode;
    state->stopRequested = true;
    if (state->id == std::this_thread::get_id()) return true;

    std::thread worker = std::move(thread);
    lock.unlock();
    if (worker.joinable()) {
        worker.join();
    } else {
        // Another Stop is joining the thread; wait for the end it announces.
        lock.lock();
        state->ended.wait(lock, [this] { return !state->running; });
    }
    return true;
}

std::uint32_t CWorkerThread::Run() { return 0; }

bool CWorkerThread::IsRunning() const {
    std::lock_guard lock(state->lock);
    return state->running;
}

bool CWorkerThread::IsCurrentThread() const {
    std::lock_guard lock(state->lock);
    return state->running && state->id == std::this_thread::get_id();
}

bool CWorkerThread::Wait(std::uint32_t milliseconds) {
    std::unique_lock lock(state->lock);
    auto ended = [this] { return !state->running; };
    if (milliseconds == kInfinite) {
        state->ended.wait(lock, ended);
        return true;
    }
    return state->ended.wait_for(lock, std::chrono::milliseconds(milliseconds), ended);
}

std::uint32_t CWorkerThread::GetExitCode() const {
    std::lock_guard lock(state->lock);
    return state->exitCode;
}

bool CWorkerThread::IsStopRequested() const {
    std::lock_guard lock(state->lock);
    return state->stopRequested;
}

void CWorkerThread::ThreadProcedure(std::shared_ptr<State> state, CWorkerThread* self) {
    std::uint32_t result = 0;
    try {
        result = self->Run();
    } catch (...) {
        // A worker's failure must not take the program down; the exit code
        // tells the owner nothing was produced.
        result = 0;
    }
    // `self` may be gone from here on (destroyed on this thread inside Run).
    std::lock_guard lock(state->lock);
    if (!state->stopRequested) state->exitCode = result;
    state->running = false;
    state->id = std::thread::id();
    state->ended.notify_all();
}

}  // namespace tallyhawk
