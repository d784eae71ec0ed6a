// The song database's scan on a helper thread, while the select screen is
// up: it works on a connection of its own (the file is in write-ahead-log
// mode, so the screen's connection reads while it writes) and hands what each
// committed batch changed to the frame thread, which takes it when it likes.
#pragma once

#include "library/LibraryScan.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tappo {

class BackgroundScan {
  public:
    // Starts scanning `options.Roots` into the database file at `path`.
    BackgroundScan(std::string path, ScanOptions options);
    // Stops the scan at its next file and waits for it: a batch read part-way
    // is not written, so the database stays as the last commit left it.
    ~BackgroundScan();
    BackgroundScan(const BackgroundScan&) = delete;
    BackgroundScan& operator=(const BackgroundScan&) = delete;

    struct News {
        bool Running = false;
        int64_t Done = 0;  // charts looked at
        int64_t Total = 0; // the charts the database held before, or Done when more
        std::vector<ChartRow> Written;
        std::vector<std::string> Removed;
        std::string Failure; // why the scan ended early; empty when it did not
    };
    // What the batches committed since the last call changed, and the progress.
    News Take();
    // While paused the scan waits before its next file (a chart plays).
    void Pause(bool paused) { watch_.Pause = paused; }

  private:
    void Run();

    std::string path_;
    ScanOptions options_;
    ScanWatch watch_;
    std::atomic<bool> running_{true};
    std::atomic<int64_t> done_{0}, total_{0};
    std::mutex mutex_; // guards news_
    News news_;
    std::thread thread_; // last: started once everything it uses is made
};

} // namespace tappo
