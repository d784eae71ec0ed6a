#include "select/SongPreview.h"

namespace tappo {

void SongPreview::Update(const std::string& chartPath, uint32_t nowMs) {
    if (chartPath != chart_) {
        Stop();
        chart_ = chartPath;
        since_ = nowMs;
        tried_ = false;
        return;
    }
    if (tried_ || nowMs - since_ < RestMs) return;
    tried_ = true;
    if (!FileOf) return;
    const std::string file = FileOf(chartPath);
    if (file.empty()) return;
    // A sound that does not load is in the problem log and plays nothing.
    sample_ = mixer_.LoadSample(file);
    if (!sample_->HasBuffer()) return;
    // The select screen plays nothing else: the last channel is free.
    channel_ = mixer_.ChannelCount() - 1;
    mixer_.SetChannelSample(channel_, sample_.get());
    mixer_.PlayChannel(channel_);
    file_ = file;
}

void SongPreview::Stop() {
    if (channel_ >= 0 && mixer_.ChannelStatus(channel_) == ChannelPlaying)
        mixer_.StopChannel(channel_);
    channel_ = -1;
    file_.clear();
    tried_ = true; // until the cursor moves to another chart
}

std::string SongPreview::Playing() const {
    if (channel_ < 0 || mixer_.ChannelStatus(channel_) != ChannelPlaying) return {};
    return file_;
}

} // namespace tappo
