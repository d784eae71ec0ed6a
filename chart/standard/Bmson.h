// bmson charts: the JSON chart format, in its 1.0 layout ("version" given) and
// the older 0.21 one (no "version": "soundChannel", "bpmNotes", ...), read
// into the standard reading's chart. Each sound channel names one sound file
// and plays one slice of it at a time: every note of the channel ends the
// slice before it, a note with "c": false starts the file from its beginning,
// and a note with "c": true starts it where it would be had it played on since
// the channel's last restart.
#pragma once

#include "base/Errors.h"
#include "chart/standard/Compiler.h"

#include <string>
#include <string_view>

namespace tappo::standard {

// Anything that stops a bmson chart from being read: the JSON does not parse,
// or a value outside the notes (the tempo, a tempo change, a measure line, a
// picture) has the wrong type or lies out of range. A note or sound channel
// that does not read is left out (or read without the faulty field) with a
// warning instead. The text names the value by its JSON path and gives the
// byte offset where the fault was seen.
class BmsonError : public Error {
  public:
    using Error::Error;
};

// Bounds that keep a hostile chart's read small and quick.
inline constexpr uint64_t MaxBmsonPulse = uint64_t(1) << 40;
inline constexpr uint64_t MaxBmsonResolution = uint64_t(1) << 31;
// Sound channels past this many are left out. Channels naming one file share
// its slot; the first 1,295 different files get one each.
inline constexpr size_t MaxBmsonSoundChannels = (size_t(1) << 14) - 1;

// Whether `path` names a bmson chart (".bmson", any letter case).
bool IsBmsonPath(std::string_view path);

// The chart of bmson bytes (UTF-8 JSON, a byte-order mark skipped; or UTF-16,
// with or without its byte-order mark, read as its UTF-8 text). With
// `headerOnly` only "info" is read (the select screen's values and pictures).
// `capacity` is how many bytes from bytes.data() may be read: with
// FileReadSlack (ReadWholeFile's) or more past the chart's end they are read
// in place, else copied first. Throws BmsonError.
Chart CompileBmson(std::string_view bytes, bool headerOnly = false, size_t capacity = 0);

} // namespace tappo::standard
