#include "audio/AudioRing.h"

#include <algorithm>
#include <cstring>

namespace tappo {

AudioRing::AudioRing(int frames) {
    uint64_t capacity = 64;
    while (capacity < uint64_t(std::max(frames, 1)))
        capacity *= 2;
    mask_ = capacity - 1;
    data_.assign(size_t(capacity) * 2, 0);
}

int AudioRing::Fill() const {
    const int64_t n =
        write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire);
    return int(std::max<int64_t>(n, 0));
}

int64_t AudioRing::Behind() const {
    const int64_t n =
        read_.load(std::memory_order_acquire) - write_.load(std::memory_order_relaxed);
    return std::max<int64_t>(n, 0);
}

int AudioRing::Space() const {
    return Capacity() - Fill() - int(std::min<int64_t>(Behind(), Capacity()));
}

void AudioRing::Write(const int16_t* data, int frames) {
    const int64_t w = write_.load(std::memory_order_relaxed);
    for (int done = 0; done < frames;) {
        const uint64_t at = uint64_t(w + done) & mask_;
        const int n = int(std::min<uint64_t>(uint64_t(frames - done), mask_ + 1 - at));
        std::memcpy(&data_[at * 2], data + size_t(done) * 2, size_t(n) * 4);
        done += n;
    }
    // The frames are in place before the reader can see them.
    write_.store(w + frames, std::memory_order_release);
}

void AudioRing::Skip(int64_t frames) {
    write_.store(write_.load(std::memory_order_relaxed) + frames, std::memory_order_release);
}

int AudioRing::Read(int16_t* out, int frames) {
    const int64_t r = read_.load(std::memory_order_relaxed);
    const int64_t w = write_.load(std::memory_order_acquire);
    const int available = int(std::clamp<int64_t>(w - r, 0, frames));
    for (int done = 0; done < available;) {
        const uint64_t at = uint64_t(r + done) & mask_;
        const int n = int(std::min<uint64_t>(uint64_t(available - done), mask_ + 1 - at));
        std::memcpy(out + size_t(done) * 2, &data_[at * 2], size_t(n) * 4);
        done += n;
    }
    if (available < frames) {
        std::memset(out + size_t(available) * 2, 0, size_t(frames - available) * 4);
        underruns_.fetch_add(1, std::memory_order_relaxed);
        missing_.fetch_add(frames - available, std::memory_order_relaxed);
    }
    // The slots are copied before the writer may fill them again.
    read_.store(r + frames, std::memory_order_release);
    return available;
}

} // namespace tappo
