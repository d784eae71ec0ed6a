#include "platform/Music.h"
#include "platform/MidiTime.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "files/Files.h"
#include "formats/Midi.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fluidsynth.h>
#include <utility>

namespace tappo {

struct MusicPlayer::Synth {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* player = nullptr;
    // The notes sounding where a fresh player was sent: struck again once its
    // seek has set the channels' programs and controllers.
    std::vector<HeldMidiNote> held;
    ~Synth() {
        if (player) {
            fluid_player_stop(player);
            delete_fluid_player(player);
        }
        if (synth) delete_fluid_synth(synth);
        if (settings) delete_fluid_settings(settings);
    }
};

namespace {
constexpr const char* NoDevice = ForCatalogue("MCI デバイスがありません");
} // namespace

std::string MusicPlayer::FindSoundFont() {
    if (const char* env = std::getenv("TAPPO_SOUNDFONT"); env && *env) return env;
    for (const char* path :
         {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
          "/usr/share/sounds/sf2/FluidR3_GM.sf2"}) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) return path;
    }
    return "";
}

MusicPlayer::MusicPlayer(std::string soundFont) : soundFont_(std::move(soundFont)) {}

MusicPlayer::~MusicPlayer() {
    std::lock_guard<SoundMutex> lock(mutex_);
    synth_.reset();
}

// The synthesiser and its soundfont are made on the first open, so a chart
// without music costs nothing at start-up. Loading the soundfont takes a
// while: it is done without the lock the mixing thread takes, and only the
// finished synthesiser is handed over under it.
void MusicPlayer::EnsureSynth() {
    if (synth_) return;
    for (int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG})
        fluid_set_log_function(level, nullptr, nullptr);
    auto s = std::make_unique<Synth>();
    s->settings = new_fluid_settings();
    fluid_settings_setnum(s->settings, "synth.sample-rate", MixRate);
    fluid_settings_setnum(s->settings, "synth.gain", 0.5);
    // Driven by the samples we render, not by the wall clock, so offline
    // rendering and the virtual clock keep the music in time.
    fluid_settings_setstr(s->settings, "player.timing-source", "sample");
    s->synth = new_fluid_synth(s->settings);
    if (soundFont_.empty()) soundFont_ = FindSoundFont();
    if (soundFont_.empty() || fluid_synth_sfload(s->synth, soundFont_.c_str(), 1) == FLUID_FAILED)
        ReportOnConsole(
            soundFont_.empty()
                ? std::string(Tr("no General MIDI soundfont could be loaded; music stays silent "
                                 "(install timgm6mb-soundfont or set TAPPO_SOUNDFONT)"))
                : FormatText(Tr("no General MIDI soundfont could be loaded from %s; music stays "
                                "silent (install timgm6mb-soundfont or set TAPPO_SOUNDFONT)"),
                             soundFont_));
    std::lock_guard<SoundMutex> lock(mutex_);
    synth_ = std::move(s);
}

void MusicPlayer::NewPlayerLocked() {
    if (synth_->player) {
        fluid_player_stop(synth_->player);
        delete_fluid_player(synth_->player);
    }
    fluid_synth_all_sounds_off(synth_->synth, -1);
    synth_->player = new_fluid_player(synth_->synth);
    if (synth_->player &&
        fluid_player_add_mem(synth_->player, file_.data(), file_.size()) != FLUID_OK) {
        delete_fluid_player(synth_->player);
        synth_->player = nullptr;
    }
    stoppedAt_ = -1;
}

void MusicPlayer::Open() {
    Close();
    std::vector<uint8_t> bytes = ReadWholeFile(FileName);
    if (!MidiStructureValid(bytes.data(), bytes.size()))
        throw Error(FileName + Tr(" は MIDI ファイルではありません"));
    EnsureSynth();
    std::lock_guard<SoundMutex> lock(mutex_);
    file_ = std::move(bytes);
    NewPlayerLocked();
    if (!synth_->player) throw Error(Tr("原因不明のエラー"));
    open_ = true;
    playing_ = false;
}

void MusicPlayer::Close() {
    std::lock_guard<SoundMutex> lock(mutex_);
    if (synth_ && synth_->player) {
        fluid_player_stop(synth_->player);
        delete_fluid_player(synth_->player);
        synth_->player = nullptr;
        fluid_synth_all_sounds_off(synth_->synth, -1);
        fluid_synth_system_reset(synth_->synth);
    }
    file_.clear();
    open_ = playing_ = jumpPending_ = false;
}

bool MusicPlayer::EndedLocked() {
    fluid_player_t* p = synth_->player;
    if (!p || fluid_player_get_status(p) == FLUID_PLAYER_DONE) return true;
    const int total = fluid_player_get_total_ticks(p);
    // Before the first render block the file is not loaded yet (total 0).
    return total > 0 && fluid_player_get_current_tick(p) >= total;
}

// Seeking is done by starting a fresh player (and, to resume, seeking it
// before it plays): FluidSynth's own stop and seek do not keep a position.
void MusicPlayer::Rewind() {
    if (!open_) throw Error(Tr(NoDevice));
    std::lock_guard<SoundMutex> lock(mutex_);
    NewPlayerLocked();
    if (playing_ && synth_->player) fluid_player_play(synth_->player);
}

void MusicPlayer::Play() {
    if (!open_) throw Error(Tr(NoDevice));
    std::lock_guard<SoundMutex> lock(mutex_);
    PlayLocked();
}

void MusicPlayer::PlayLocked() {
    if (playing_ && !EndedLocked()) return;
    if (EndedLocked() && stoppedAt_ < 0) NewPlayerLocked(); // AutoRewind at the end
    if (!synth_->player) return;
    if (stoppedAt_ > 0) {
        fluid_player_seek(synth_->player, stoppedAt_);
        // The player's pass over the file up to the seek's tick sets every
        // channel's program and controllers but skips the notes: on its first
        // tick the notes still sounding there are struck again (released ones
        // the pedal holds are released again, for the pedal to hold).
        synth_->held = MidiNotesHeldAt(file_.data(), file_.size(), stoppedAt_);
        fluid_player_set_tick_callback(
            synth_->player,
            [](void* data, int) {
                auto& s = *static_cast<Synth*>(data);
                for (const HeldMidiNote& n : s.held) {
                    fluid_synth_noteon(s.synth, n.Channel, n.Key, n.Velocity);
                    if (n.Sustained) fluid_synth_noteoff(s.synth, n.Channel, n.Key);
                }
                s.held.clear();
                return FLUID_OK;
            },
            synth_.get());
    }
    stoppedAt_ = -1;
    fluid_player_play(synth_->player);
    playing_ = true;
}

// The start frame is set with the same hold of the lock that starts the
// music: the mixing thread must not render a block in between.
void MusicPlayer::PlayAt(int64_t frame) {
    if (!open_) throw Error(Tr(NoDevice));
    std::lock_guard<SoundMutex> lock(mutex_);
    PlayLocked();
    startAt_ = frame;
}

void MusicPlayer::Stop() {
    if (!open_) throw Error(Tr(NoDevice));
    std::lock_guard<SoundMutex> lock(mutex_);
    startAt_ = -1;
    if (std::exchange(jumpPending_, false) && jumpTick_ >= 0) {
        // Stopped before a jump it was to make: it goes on from there.
        NewPlayerLocked();
        if (jumpTick_ > 0) stoppedAt_ = int(jumpTick_);
        playing_ = false;
        return;
    }
    if (!playing_ || !synth_->player) return;
    const bool ended = EndedLocked();
    const int at = fluid_player_get_current_tick(synth_->player);
    // A fresh player, told where to continue.
    NewPlayerLocked();
    if (ended) {
        // Stopped after the end: the next play starts from the top.
    } else {
        stoppedAt_ = at;
    }
    playing_ = false;
}

void MusicPlayer::Seek(int64_t ms) {
    if (!open_) throw Error(Tr(NoDevice));
    std::lock_guard<SoundMutex> lock(mutex_);
    startAt_ = -1;
    jumpPending_ = false;
    NewPlayerLocked();
    playing_ = false;
    const int64_t tick = MidiTickAtMs(file_.data(), file_.size(), ms);
    if (tick > 0) stoppedAt_ = int(std::min<int64_t>(tick, INT_MAX));
}

void MusicPlayer::JumpAt(int64_t frame, std::optional<int64_t> ms) {
    if (!open_) throw Error(Tr(NoDevice));
    std::lock_guard<SoundMutex> lock(mutex_);
    jumpAt_ = frame;
    jumpTick_ = ms ? std::min<int64_t>(MidiTickAtMs(file_.data(), file_.size(), *ms), INT_MAX) : -1;
    jumpPending_ = true;
}

void MusicPlayer::JumpLocked() {
    jumpPending_ = false;
    startAt_ = -1;
    NewPlayerLocked();
    playing_ = false;
    if (jumpTick_ < 0) return;
    if (jumpTick_ > 0) stoppedAt_ = int(jumpTick_);
    PlayLocked();
}

MusicState MusicPlayer::Mode() {
    std::lock_guard<SoundMutex> lock(mutex_);
    if (!open_) return MusicNotOpen;
    return playing_ && !EndedLocked() ? MusicPlaying : MusicStopped;
}

void MusicPlayer::MixInto(int32_t* mix, int frames, int64_t blockStart) {
    std::lock_guard<SoundMutex> lock(mutex_);
    if (!synth_ || !open_) return;
    if (jumpPending_ && jumpAt_ < blockStart + frames) {
        // The music up to the jump's frame, then from where it goes on.
        const int split = int(std::max<int64_t>(0, jumpAt_ - blockStart));
        RenderLocked(mix, 0, split, blockStart);
        JumpLocked();
        RenderLocked(mix, split, frames, blockStart);
        return;
    }
    RenderLocked(mix, 0, frames, blockStart);
}

void MusicPlayer::RenderLocked(int32_t* mix, int from, int to, int64_t blockStart) {
    if (!playing_ || from >= to) return;
    int offset = from;
    if (startAt_ > blockStart + from) {
        if (startAt_ >= blockStart + to) return; // not yet
        offset = int(startAt_ - blockStart);
    }
    startAt_ = -1;
    const int n = to - offset;
    buffer_.resize(size_t(n) * 2);
    fluid_synth_write_s16(synth_->synth, n, buffer_.data(), 0, 2, buffer_.data(), 1, 2);
    int32_t* dst = mix + size_t(offset) * 2;
    for (size_t i = 0; i < buffer_.size(); ++i)
        dst[i] += buffer_[i];
}

} // namespace tappo
