#include "base/Report.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace tappo {
namespace {

std::mutex& SinkLock() {
    static std::mutex lock;
    return lock;
}

ConsoleSink& Sink() {
    static ConsoleSink sink;
    return sink;
}

} // namespace

void ReportOnConsole(const std::string& text) {
    const std::string line = "tappoplayer: " + text + "\n";
    std::lock_guard<std::mutex> lock(SinkLock());
    if (Sink()) {
        Sink()(line);
        return;
    }
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

ConsoleSink SetConsoleSink(ConsoleSink sink) {
    std::lock_guard<std::mutex> lock(SinkLock());
    return std::exchange(Sink(), std::move(sink));
}

} // namespace tappo
