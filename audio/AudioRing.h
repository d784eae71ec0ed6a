// The queue between the mixing thread and the sound device: one thread writes
// mixed frames, the device's callback reads them, and neither ever waits for
// the other. Positions count stereo frames from the start and never wrap.
//
// The device never waits: when it asks for more than has been mixed it gets
// silence for the rest, its read position moves on all the same (the device
// played those frames), and the gap is counted. The mixing thread then finds
// itself behind and skips the frames the device has passed, so everything it
// mixes afterwards is still heard at its own frame of the device's clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace tappo {

class AudioRing {
  public:
    // Holds at least `frames` frames (rounded up to a power of two).
    explicit AudioRing(int frames);

    int Capacity() const { return int(mask_ + 1); }

    // The writer's side (the mixing thread).
    int64_t WritePosition() const { return write_.load(std::memory_order_relaxed); }
    // Frames written and not yet read; 0 when the reader has gone past the writer.
    int Fill() const;
    // Frames the reader has gone past the writer (the writer must skip them).
    int64_t Behind() const;
    // Frames that can be written now.
    int Space() const;
    // Writes `frames` frames (at most Space()).
    void Write(const int16_t* data, int frames);
    // Moves the write position on without data: frames the reader has passed.
    void Skip(int64_t frames);

    // The reader's side (the device's callback). Always fills `frames` frames:
    // what was written, then silence. Returns how many were written ones.
    int Read(int16_t* out, int frames);
    int64_t ReadPosition() const { return read_.load(std::memory_order_acquire); }
    // Reads that found too little (each a gap the device played as silence),
    // and the frames of silence they gave.
    int64_t Underruns() const { return underruns_.load(std::memory_order_relaxed); }
    int64_t MissingFrames() const { return missing_.load(std::memory_order_relaxed); }

  private:
    std::vector<int16_t> data_; // two samples a frame
    uint64_t mask_;
    alignas(64) std::atomic<int64_t> write_{0};
    alignas(64) std::atomic<int64_t> read_{0};
    std::atomic<int64_t> underruns_{0};
    std::atomic<int64_t> missing_{0};
};

} // namespace tappo
