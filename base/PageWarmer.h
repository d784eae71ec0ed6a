// Fresh memory costs a page fault for every page the first time it is
// written, and on a virtual machine that costs more than the writing. A
// large buffer about to be filled front to back can have its pages made
// ready by a helper thread, ahead of the calling thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

namespace tappo {

class PageWarmer {
  public:
    struct Range {
        void* From;
        size_t Bytes;
    };
    // Runs `afterwards` on a helper thread (freeing what the caller is done
    // with, say: first, so that the freed memory and the ranges are not held
    // at once), then makes the pages of each range ready there, range after
    // range, each from its front, until Stop(). Without the system's support
    // (Linux 5.14) no page is made ready; without a thread to be had,
    // `afterwards` is dropped unrun, so what it holds is freed at once.
    // What the memory holds is never changed, so a range may even be freed
    // while it is being made ready (a vector that grows): the system then
    // refuses the call and the helper stops, or it readies pages that have
    // gone to something else, and leaves their contents alone too.
    void Start(std::vector<Range> ranges, std::function<void()> afterwards = {});
    // Stops after the piece being made ready and waits for the helper.
    void Stop();
    ~PageWarmer() { Stop(); }

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace tappo
