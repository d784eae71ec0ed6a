// A "#BMP" video of the standard reading as the play screen shows it: a
// thread of its own decodes a few frames ahead of the song and converts each
// frame that may be shown to the slot's surface format; the play frame only
// copies a ready frame onto the slot's surface.
#pragma once

#include "chart/CompiledChart.h"
#include "formats/VideoFile.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tappo {

class Surface;

class BgaVideo {
  public:
    // Frames converted ahead of the song, at most.
    static constexpr size_t FramesAhead = 3;

    // Opens `path` (taken from `probed`, its probe, when given) and draws its
    // first frame onto `surface` (which has its size already); the rest is
    // decoded once the video is shown, by the decoder opened here (for the
    // first few videos of all that wait to be shown; the others open theirs
    // again then). Throws Error naming the file when it does not open or no
    // frame decodes.
    BgaVideo(std::string path, Surface& surface, std::unique_ptr<VideoFileProbe> probed = nullptr);
    // The same file for another slot or channel, on `surface` (of the same
    // size as `opened`'s): the first frame is copied from `opened`'s surface,
    // which must not have been shown yet, and the file is opened for this
    // video once it is shown. Nothing is read here.
    static std::unique_ptr<BgaVideo> SameFile(const BgaVideo& opened, Surface& surface);
    ~BgaVideo();
    BgaVideo(const BgaVideo&) = delete;
    BgaVideo& operator=(const BgaVideo&) = delete;

    // The video starts from its first frame at song time `startTime`.
    void Start(int64_t startTime);
    // Puts the frame of song time `songTime` on the surface: the last frame
    // at or before songTime - the start time (the first before it starts,
    // the last once it has ended). With `exact` it waits for the decoder to
    // reach that frame, so every run shows the same frame; without it the
    // newest frame ready is shown and the decoder skips frames to catch up.
    void Show(int64_t songTime, bool exact);
    // Not shown any more: the decoder closes until the video starts again.
    void Leave();
    // What went wrong with the video since it was opened, once: the text the
    // first time, then empty.
    std::string TakeProblem();
    // The file it plays.
    const std::string& Path() const { return path_; }

  private:
    BgaVideo(const BgaVideo& opened, Surface& surface, int);
    struct Frame {
        int64_t time = 0, nextTime = 0;
        std::vector<uint16_t> pixels;
    };
    void Run();
    // Run's two steps, with mutex_ held through `lock`: after a restart or a
    // leave, the decoder for `generation`; and one frame decoded into the queue.
    void TakeDecoder(std::unique_lock<std::mutex>& lock, std::unique_ptr<VideoDecoder>& decoder,
                     bool& onFirst, uint64_t generation);
    void DecodeFrame(std::unique_lock<std::mutex>& lock, VideoDecoder& decoder, bool& onFirst,
                     uint64_t generation);
    void Restart();                            // with mutex_ held
    void NoteProblem(const std::string& text); // with mutex_ held

    const std::string path_;
    Surface& surface_;
    const int width_, height_;

    std::mutex mutex_;
    std::condition_variable wake_;  // the decoder: room, a new target, a restart or stop
    std::condition_variable ready_; // the play frame: a frame or the end
    std::deque<Frame> frames_;      // converted, in time order
    std::vector<std::vector<uint16_t>> spare_;
    uint64_t generation_ = 0; // counts restarts; the decoder reopens on a change
    int64_t target_ = 0;      // the video time the play frame asked for last
    bool exact_ = true;       // and whether it waits for that frame
    bool ended_ = false, stop_ = false;
    bool left_ = false; // not shown: the decoder is closed
    std::string problem_;
    bool problemTaken_ = false;
    // Opened by the constructor, on its first frame, until the decoding
    // thread takes it.
    std::unique_ptr<VideoDecoder> opened_;
    std::thread thread_;

    // The play frame's own: the start, and the frame on the surface.
    int64_t start_ = 0;
    int64_t shownTime_ = -1, shownNext_ = 0;
};

using VideoBank = std::array<std::unique_ptr<BgaVideo>, WideSlotCount>;

} // namespace tappo
