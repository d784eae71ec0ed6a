// Background music: a MIDI file played by FluidSynth with a General MIDI
// soundfont, rendered into the same mix as the sound channels.
#pragma once

#include "audio/Mixer.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tappo {

// The music's state; a piece that has played to its end is stopped.
enum MusicState : int { MusicNotOpen = 0, MusicStopped = 1, MusicPlaying = 2 };

class MusicPlayer : public MixSource {
  public:
    // `soundFont` empty: $TAPPO_SOUNDFONT, then the system's General MIDI soundfont.
    explicit MusicPlayer(std::string soundFont = "");
    ~MusicPlayer() override;
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    std::string FileName;

    // Closes what was open, then opens FileName; throws on a file that is
    // missing or not MIDI.
    void Open();
    void Close();
    // Need an open file; throw "MCI デバイスがありません" otherwise.
    void Rewind();
    void Play(); // from the current position (from the start once it has ended)
    // Play, starting exactly at mix frame `frame` (offline rendering, and live
    // play on the sound clock).
    void PlayAt(int64_t frame);
    void Stop(); // keeps the position
    // Stops, and moves the position to `ms` milliseconds into the piece (its
    // tempo changes followed); the next Play or PlayAt continues from there.
    void Seek(int64_t ms);
    // At mix frame `frame` (-1: with the next block) the music stops and,
    // given `ms`, plays on from that point of the piece, within the same mix
    // block (a loop's joint); without `ms` it stays stopped there.
    void JumpAt(int64_t frame, std::optional<int64_t> ms);
    MusicState Mode();
    bool IsOpen() const { return open_; }

    void MixInto(int32_t* mix, int frames, int64_t blockStart) override;

    static std::string FindSoundFont();

  private:
    struct Synth;
    void EnsureSynth();
    bool EndedLocked();
    void PlayLocked();
    // Renders frames [from, to) of the block starting at mix frame `blockStart`.
    void RenderLocked(int32_t* mix, int from, int to, int64_t blockStart);
    void JumpLocked();
    void NewPlayerLocked(); // a fresh player at the start of the file

    std::vector<uint8_t> file_; // the open MIDI file
    int stoppedAt_ = -1;        // tick where Stop left the music, -1: at the start
    int64_t startAt_ = -1;      // mix frame of a scheduled start
    bool jumpPending_ = false;  // JumpAt asked for a jump not made yet
    int64_t jumpAt_ = -1;       // its mix frame; -1: the next block
    int64_t jumpTick_ = -1;     // where the jump goes on; -1: it stops

    std::string soundFont_;
    SoundMutex mutex_;             // the synthesiser renders on the audio thread
    std::unique_ptr<Synth> synth_; // made by the first Open
    bool open_ = false, playing_ = false;
    std::vector<int16_t> buffer_;
};

} // namespace tappo
