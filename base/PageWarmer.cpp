#include "base/PageWarmer.h"

#include <algorithm>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace tappo {

namespace {

// Makes the whole pages of `range` ready, in pieces so that a stop waits for
// one piece at most; false where the system cannot.
bool Warm(PageWarmer::Range range, const std::atomic<bool>& stop) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    // A page shared with memory outside the range may be in use already.
    char* const from = static_cast<char*>(range.From);
    char* const begin = from + (page - reinterpret_cast<uintptr_t>(from) % page) % page;
    char* const end = from + range.Bytes - reinterpret_cast<uintptr_t>(from + range.Bytes) % page;
    if (end <= begin) return true;
    const size_t bytes = size_t(end - begin);
    constexpr size_t Piece = size_t(1) << 20;
    for (size_t done = 0; done < bytes && !stop.load(std::memory_order_relaxed); done += Piece)
        if (madvise(begin + done, std::min(Piece, bytes - done), MADV_POPULATE_WRITE) != 0)
            return false;
    return true;
}

} // namespace

void PageWarmer::Start(std::vector<Range> ranges, std::function<void()> afterwards) {
    if (thread_.joinable()) Stop();
    stop_ = false;
    try {
        thread_ =
            std::thread([this, ranges = std::move(ranges), afterwards = std::move(afterwards)] {
                if (afterwards) afterwards();
                for (const Range& r : ranges)
                    if (!Warm(r, stop_))
                        break; // an older system: the filling thread takes the faults
            });
    } catch (...) {
        // No thread (or no memory for one): the warming is only an aid. The
        // thread's function, and `afterwards` with what it holds, was
        // destroyed unrun.
    }
}

void PageWarmer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

} // namespace tappo
