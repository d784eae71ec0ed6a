// The problem log "ddsd.debug": what went wrong with a chart's sounds,
// pictures, videos and music, one numbered line a report. Whoever makes a
// part that reports hands it the run's log. The first report of a run starts
// the file anew (the previous run's file is kept beside it as ".1"). Anything
// but a regular file in the log's place (a link, a FIFO, a device) is left
// alone and said once on the console.
#pragma once

#include <mutex>
#include <string>

namespace tappo {

class ProblemLog {
  public:
    explicit ProblemLog(std::string path) : path_(std::move(path)) {}
    void Report(const std::string& text);
    // A failed platform call: the text and the call's result code.
    void ReportFailedCall(const std::string& text, long code);
    int Count() const { return count_; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    int count_ = 0;
    bool refused_ = false;
    std::mutex mutex_;
};

} // namespace tappo
