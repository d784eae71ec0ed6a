#include "base/InOrder.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace tappo {

namespace {

std::atomic<bool> helperAllowed{true};

using Finish = std::function<bool(int, const std::exception_ptr&)>;

// Item i's work; what it throws is kept for its finish.
std::exception_ptr Work(const std::function<void(int, int)>& work, int i, int worker) {
    try {
        work(i, worker);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

bool RunSerially(int count, const std::function<void(int, int)>& work, const Finish& finish) {
    for (int i = 0; i < count; ++i)
        if (!finish(i, Work(work, i, 0))) return false;
    return true;
}

// What the two threads share; every field is guarded by `mutex`.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> done;
    std::vector<std::exception_ptr> errors; // what each item's work threw
    int next = 0;                           // the first item no thread has started
    bool stop = false;

    bool MayStart() const { return !stop && size_t(next) < done.size(); }
};

// Takes the next item and works on it with the lock let go; the lock is held
// again on return, the item marked done and the other thread told.
void WorkOnNext(Shared& s, std::unique_lock<std::mutex>& lock,
                const std::function<void(int, int)>& work, int worker) {
    const int i = s.next++;
    lock.unlock();
    std::exception_ptr error = Work(work, i, worker);
    lock.lock();
    s.errors[size_t(i)] = std::move(error);
    s.done[size_t(i)] = 1;
    s.changed.notify_all();
}

// The helper: starts items until none is left or the load stops.
void Help(Shared& s, const std::function<void(int, int)>& work) {
    std::unique_lock<std::mutex> lock(s.mutex);
    while (s.MayStart())
        WorkOnNext(s, lock, work, 1);
}

// The calling thread until item i is done: it works on items itself while it
// may, and otherwise waits for the helper.
void AwaitItem(Shared& s, int i, const std::function<void(int, int)>& work) {
    std::unique_lock<std::mutex> lock(s.mutex);
    while (!s.done[size_t(i)]) {
        if (s.MayStart())
            WorkOnNext(s, lock, work, 0);
        else
            s.changed.wait(lock);
    }
}

} // namespace

void AllowInOrderHelper(bool allowed) {
    helperAllowed = allowed;
}

bool RunInOrder(int count, const std::function<void(int, int)>& work, const Finish& finish) {
    if (count <= 1 || !helperAllowed || std::thread::hardware_concurrency() < 2)
        return RunSerially(count, work, finish);
    Shared s;
    s.done.assign(size_t(count), 0);
    s.errors.resize(size_t(count));
    std::thread helper;
    try {
        helper = std::thread([&] { Help(s, work); });
    } catch (const std::system_error&) {
        return RunSerially(count, work, finish);
    }
    bool finishedAll = true;
    std::exception_ptr thrown; // from `finish`, passed on once the helper is done
    for (int i = 0; i < count && finishedAll; ++i) {
        AwaitItem(s, i, work);
        try {
            // Done, so no thread writes its error any more.
            finishedAll = finish(i, s.errors[size_t(i)]);
        } catch (...) {
            thrown = std::current_exception();
            finishedAll = false;
        }
        if (!finishedAll) {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.stop = true;
        }
    }
    helper.join();
    if (thrown) std::rethrow_exception(thrown);
    return finishedAll;
}

} // namespace tappo
