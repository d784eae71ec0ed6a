// The user's settings file: what the player uses on every run unless the
// command line says otherwise. A plain text file, one "key = value" a line:
//
//   # lines whose first non-blank character is "#" are comments
//   songs = /home/me/BMS          (repeatable: every line adds a folder)
//   reading = standard            (exact or standard)
//   scale = 3                     (1-16, or auto: the largest that fits)
//   screen = window               (window or full)
//   audio-buffer = 512            (64-8192 frames)
//   volume = 100                  (0-100; the volume keys change it and store it)
//   table = https://example.org/table.html   (repeatable: a difficulty table
//                                  that --update-tables brings into the song database)
//   scroll-speed = 1.5            (0.5-4 in steps of 0.25; written by --save-settings)
//   rate = 1.00                   (the playback rate, 0.5-2 in steps of 0.05)
//   sort = title                  (the select screen's sort: folders, title,
//                                  artist, level, BPM, length, notes, added,
//                                  played; Tab changes it and stores it)
//
// Spaces around the key and the value are ignored; a value starting with "~/"
// is below $HOME. An unknown key or a line that does not read is reported with
// the file's name and its line number and left out; the other lines still count.
#pragma once

#include "select/SongOrder.h"

#include <optional>
#include <string>
#include <vector>

namespace tappo {

// The values a settings file (or a command line) sets; each is unset until it does.
struct Settings {
    std::vector<std::string> Songs; // song folders; empty: not set
    std::optional<bool> Standard;   // the reading: standard (true) or exact
    std::optional<int> Scale;       // window scale; 0: the largest that fits
    std::optional<bool> Windowed;   // window (true) or full screen
    std::optional<int> AudioBufferFrames;
    std::optional<int> Volume;         // master volume, 0-100
    std::optional<double> ScrollSpeed; // the arrows' spread, 0.5-4 in steps of 0.25
    std::optional<int> RatePercent;    // playback rate in percent, 50-200 in steps of 5
    std::vector<std::string> Tables;   // difficulty tables' URLs or files; never written
    std::optional<SongSort> Sort;      // the select screen's sort
};

// A playback rate written as a number ("0.75", "1.5", "2"): its percent, when
// it is 0.5 to 2 and a whole multiple of 0.05.
std::optional<int> ParseRatePercent(const std::string& text);
// The rate as the settings file and the band write it: "0.75".
std::string RateNumber(int percent);

// "$XDG_CONFIG_HOME/tappoplayer/settings" (by default ~/.config/tappoplayer/);
// empty when there is no home to put it in.
std::string SettingsPath();

// Reads settings text; each problem is added to `problems` as
// "FILE:LINE: what is wrong".
Settings ParseSettings(const std::string& text, const std::string& fileName,
                       std::vector<std::string>& problems);
// The settings file at `path`; a missing file sets nothing and is no problem,
// one that cannot be read is.
Settings ReadSettingsFile(const std::string& path, std::vector<std::string>& problems);

// `text` (a settings file's contents, possibly empty) with the values `given`
// sets written in: each replaces the key's first line and the key's other lines
// go (all "songs" lines give way to the new folders); keys the text lacks are
// added at its end. Comments, unknown keys and lines that do not read stay.
std::string MergeSettings(const std::string& text, const Settings& given);
// Writes `given` into the settings file at `path`, merged with what it holds,
// under a temporary name renamed into place (its folder is made when missing);
// a settings file that is a symbolic link is written where the link leads.
// Song folders are stored as absolute paths. Throws Error when it cannot.
void SaveSettings(const std::string& path, const Settings& given);

// The song folders searched when neither the command line nor the settings
// name any: the program folder (its demo songs) and the user's
// "$XDG_DATA_HOME/tappoplayer/songs/" (by default ~/.local/share/tappoplayer/),
// made when missing and left out when it cannot be made.
std::vector<std::string> DefaultSongFolders(const std::string& programFolder);

} // namespace tappo
