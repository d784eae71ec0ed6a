// Video files ("#BMP" backgrounds of the standard reading) through FFmpeg:
// the container is known by its content, the picture stream is decoded frame
// by frame and each frame shown is converted once to 5-6-5 pixels at the size
// the screen shows it. Sound streams are skipped unread. No threads here: the
// media layer runs a decoder on a thread of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVInputFormat;

namespace tappo {

// Largest frame a video may have, in either direction; larger ones are refused.
inline constexpr int MaxVideoSide = 4096;
// A stream decodes at most this many frames (over nine hours at 30 per
// second) and reads at most this many packets; past either it ends there.
inline constexpr int64_t MaxVideoFrames = 1'000'000;
inline constexpr int64_t MaxVideoPackets = 4'000'000;

// A file whose first bytes say it is a video container the player plays
// (MPEG program and elementary streams, AVI, ASF/WMV, MP4/MOV, Matroska/WebM,
// Ogg, FLV, raw H.264 and MPEG-4), held open with its container known, so
// that VideoDecoder::OpenFile goes on from it without opening and probing the
// file again.
class VideoFileProbe {
  public:
    // Null when `path` is not a video: a file that cannot be read, that is
    // no regular file, or that starts like a PNG, JPEG or BMP picture. `path`
    // is read up to 1 MB.
    static std::unique_ptr<VideoFileProbe> Open(const std::string& path);
    ~VideoFileProbe();
    VideoFileProbe(const VideoFileProbe&) = delete;
    VideoFileProbe& operator=(const VideoFileProbe&) = delete;

  private:
    friend class VideoDecoder;
    VideoFileProbe() = default;
    int fd_ = -1;
    int64_t size_ = 0; // as it was when opened
    const AVInputFormat* container_ = nullptr;
};
bool LooksLikeVideo(const uint8_t* data, size_t size);

class VideoDecoder {
  public:
    // Opens a regular file (read as long as it was when opened) or bytes in
    // memory (kept by the caller while the decoder lives), for frames of
    // `width` x `height`. Throws Error naming `name` when the file is not a
    // video, has no picture stream, or its frames are larger than MaxVideoSide.
    // With `probed` (the file at `path` as its probe opened it) the file is
    // taken from the probe.
    static std::unique_ptr<VideoDecoder> OpenFile(const std::string& path, int width, int height,
                                                  std::unique_ptr<VideoFileProbe> probed = nullptr);
    static std::unique_ptr<VideoDecoder> OpenMemory(const uint8_t* data, size_t size,
                                                    const std::string& name, int width, int height);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Moves to the next frame; false at the end of the stream (or where a
    // damaged stream stops decoding). The frame after it is decoded too, so
    // its time is known before this one is converted.
    bool Next();
    // The current frame's time in ms from the first frame: never earlier than
    // the frame before plus 1 ms. Frames without a time are spaced by the
    // stream's frame rate, or 30 a second where it gives none that makes sense.
    int64_t Time() const { return time_; }
    // The following frame's time; NoFrame at the end of the stream.
    int64_t NextTime() const { return nextTime_; }
    static constexpr int64_t NoFrame = INT64_MAX;
    int64_t Frames() const { return frames_; }
    // Converts the current frame to `width` x `height` 5-6-5 pixels at `out`.
    // False (and `out` untouched) when it cannot be converted.
    bool Convert(uint16_t* out);
    // Which frames the decoder leaves out from the next packets on (live play
    // catching up with the song); the frames it leaves out are never returned.
    enum Skipping { SkipNone, SkipUnreferenced, SkipAllButKeyFrames };
    void SkipFrames(Skipping skipping);
    // What was wrong with the stream so far (a damaged packet or frame, a
    // frame too large, a read error), empty while nothing was.
    const std::string& Problem() const { return problem_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

  private:
    struct Parts;
    VideoDecoder();
    // `container`: the one the content was found to be; null to probe it here.
    void Open(const std::string& name, int width, int height,
              const AVInputFormat* container = nullptr);
    void NoteProblem(const std::string& text);
    bool Decode(); // into the frame ahead, setting nextTime_

    std::unique_ptr<Parts> parts_;
    int width_ = 0, height_ = 0;
    int64_t time_ = -1, nextTime_ = -1, frames_ = 0, packets_ = 0;
    int64_t origin_ = 0;           // stream time of the first frame
    double frameMs_ = 1000.0 / 30; // spacing of frames without a time
    bool flushed_ = false, ended_ = false, started_ = false;
    std::string problem_;
};

} // namespace tappo
