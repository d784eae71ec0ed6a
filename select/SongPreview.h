// The song preview of the select screen: the sound a chart names as its
// preview ("#PREVIEW" in the standard reading) plays once the cursor has
// rested on the chart for half a second, and stops when it moves on or a
// chart starts.
#pragma once

#include "audio/Mixer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tappo {

class SongPreview {
  public:
    static constexpr uint32_t RestMs = 500;

    explicit SongPreview(Mixer& mixer) : mixer_(mixer) {}
    // The preview sound of a chart ("" for none); unset: charts have none.
    std::function<std::string(const std::string& chartPath)> FileOf;

    // Once a frame of the select screen, with the chart the cursor is on.
    void Update(const std::string& chartPath, uint32_t nowMs);
    void Stop();
    // The sound playing now; empty when none plays.
    std::string Playing() const;

  private:
    Mixer& mixer_;
    std::string chart_;
    uint32_t since_ = 0;
    bool tried_ = false; // the chart's preview was looked for
    std::unique_ptr<Sample> sample_;
    std::string file_;
    int channel_ = -1;
};

} // namespace tappo
