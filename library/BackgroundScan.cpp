#include "library/BackgroundScan.h"

#include "base/Errors.h"
#include "base/Translate.h"

#include <algorithm>
#include <exception>

namespace tappo {

BackgroundScan::BackgroundScan(std::string path, ScanOptions options)
    : path_(std::move(path)), options_(std::move(options)) {
    watch_.BatchWritten = [this](ScanBatch batch) {
        done_ = batch.Done;
        const std::lock_guard<std::mutex> lock(mutex_);
        for (ChartRow& row : batch.Written)
            news_.Written.push_back(std::move(row));
        for (std::string& gone : batch.Removed)
            news_.Removed.push_back(std::move(gone));
    };
    options_.Watch = &watch_;
    thread_ = std::thread([this] { Run(); });
}

BackgroundScan::~BackgroundScan() {
    watch_.Stop = true;
    if (thread_.joinable()) thread_.join();
}

void BackgroundScan::Run() {
    std::string failure;
    try {
        // A connection of this thread's own; a file that cannot be used here
        // (the screen's connection has said why) is not scanned into memory.
        LibraryDatabase db(path_);
        if (db.InMemory()) {
            failure = db.Notice();
        } else {
            Statement count(db, "SELECT count(*) FROM chart");
            total_ = count.Step() ? count.Int(0) : 0;
            count.Reset();
            ScanLibrary(db, options_);
        }
    } catch (const std::exception& e) {
        failure = FormatText(Tr("the song database %s: %s"), path_, e.what());
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    news_.Failure = std::move(failure);
    running_ = false;
}

BackgroundScan::News BackgroundScan::Take() {
    News news;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::swap(news, news_);
        news.Running = running_;
    }
    news.Done = done_;
    news.Total = std::max(total_.load(), news.Done);
    return news;
}

} // namespace tappo
