// Fresh memory costs a page fault for every page the first time it is
// written, and on a virtual machine that costs more than the writing. A
// large buffer about to be filled front to back can have its pages made
// ready by a helper thread, ahead of the calling thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace tappo {

class PageWarmer {
  public:
    struct Range {
        void* From;
        size_t Bytes;
    };
    // Makes the pages of each range ready on a helper thread, range after
    // range, each from its front, until Stop(). Without the system's support
    // (Linux 5.14), or a thread to be had, does nothing. The contents are
    // never changed.
    void Start(std::vector<Range> ranges);
    // Stops after the piece being made ready and waits for the helper.
    void Stop();
    ~PageWarmer() { Stop(); }

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace tappo
