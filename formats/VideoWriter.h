// Writes a rendered play into a video file with its sound, through FFmpeg's
// encoders and muxers: RGB 5-6-5 pictures scaled up by a whole number with
// sharp pixels, and 16-bit stereo sound at the mix rate. The container and
// codecs follow the file name's extension. The file is written under a
// temporary name in the same folder and renamed into place when complete.
#pragma once

#include "base/Translate.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tappo {

inline constexpr const char* TextUnknownVideoType =
    ForCatalogue("unknown video file type (use .mkv, .mp4 or .webm)");

// How a render is encoded.
struct VideoSettings {
    int Scale = 4; // each source pixel becomes Scale x Scale pixels
    int FramesPerSecond = 60;
    int Quality = -1; // the video codec's CRF; -1: the codec's default here
    // The encoder's speed against size by x264's preset names (VP9 takes
    // the matching cpu-used); empty: the file type's default.
    std::string Preset;
    int SoundRate = 44100;
};

// x264's preset names, fastest first ("ultrafast" ... "placebo").
extern const char* const VideoPresets[10];
// Whether `name` is one of them.
bool IsVideoPreset(const std::string& name);

// The video file type a name asks for: ".mkv", ".mp4" or ".webm" (any letter
// case); empty for any other name.
std::string VideoTypeOf(const std::string& path);

class VideoFileWriter {
  public:
    // Opens the encoders and the temporary file for pictures of `width` x
    // `height` source pixels; throws Error when a codec is missing or the
    // file cannot be made.
    VideoFileWriter(std::string path, int width, int height, const VideoSettings& settings);
    ~VideoFileWriter(); // an unfinished file is removed
    VideoFileWriter(const VideoFileWriter&) = delete;
    VideoFileWriter& operator=(const VideoFileWriter&) = delete;

    // The next picture, `pitch` pixels a row, shown for one frame. Pictures
    // and sound are copied into a queue of a few pictures and encoded in
    // order on the writer's own thread (scaling, colour conversion and the
    // encoders), so the caller draws the next picture meanwhile; a full
    // queue waits. An error of the encoding thread is thrown by the next call.
    void WritePicture(const uint16_t* pixels, int pitch);
    // The next sound, interleaved stereo frames.
    void WriteSound(const int16_t* stereo, size_t frames);
    // Encodes what is queued, flushes the encoders, completes the file and
    // renames it into place; throws Error on failure (the temporary file is
    // then removed).
    void Finish();
    int64_t Pictures() const { return pictures_; }
    int64_t SoundFrames() const { return soundFrames_; }

  private:
    struct Codecs;
    struct Pipeline;
    // Ends the encoding thread: after what is queued, or at once (`drop`).
    void StopPipeline(bool drop);
    // The encoding thread: what is queued, in order, until the queue closes.
    static void EncodeQueued(Codecs& c, Pipeline& queue);

    std::string path_, temp_;
    int64_t pictures_ = 0, soundFrames_ = 0;
    std::unique_ptr<Codecs> codecs_;
    std::unique_ptr<Pipeline> pipeline_;
};

} // namespace tappo
