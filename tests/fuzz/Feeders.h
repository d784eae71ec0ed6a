// One entry point per reader of untrusted bytes, shared by the fuzz targets
// and by the test that replays the corpora and the regression files. Each
// feeder gives the bytes to its reader the way the player does and accepts
// the reader's own error; anything else (a crash, a sanitizer report, another
// exception) is a fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tappo::fuzz {

using Feeder = void (*)(const uint8_t* data, size_t size);

// The chart header scan, then both readings' compilers, over the bytes as a
// chart file.
void FeedChart(const uint8_t* data, size_t size);
// The bmson reader: the select screen's header read, then the whole chart,
// its --inspect listing and its compiled chart.
void FeedBmson(const uint8_t* data, size_t size);
// A whole BMP file.
void FeedBmp(const uint8_t* data, size_t size);
// A packed bitmap, as the sprite archive holds it.
void FeedDib(const uint8_t* data, size_t size);
void FeedJpeg(const uint8_t* data, size_t size);
// A sprite archive, loaded into a list for a display so that its patterns
// are cut too.
void FeedArchive(const uint8_t* data, size_t size);
// The WAV reader, which never raises, on the bytes as a file named ".wav"
// (anything that is no RIFF file goes to the compressed reader first).
void FeedWave(const uint8_t* data, size_t size);
// The check that accepts or refuses a MIDI file.
void FeedMidi(const uint8_t* data, size_t size);
// The select screen's banner builder, with the bytes as the song folder's
// first bitmap (first byte even) or as its "disk.bmp" (odd).
void FeedBanner(const uint8_t* data, size_t size);

// A PNG picture.
void FeedPng(const uint8_t* data, size_t size);
// The compressed keysound reader (Ogg Vorbis, FLAC, MP3 through libsndfile).
void FeedSound(const uint8_t* data, size_t size);

// The video reader as a "#BMP" file meets it: the container probe, then every
// frame (a few hundred at most) decoded and converted to a small picture.
void FeedVideo(const uint8_t* data, size_t size);

// The whole player headless on a chart: the first byte picks the reading (odd:
// standard) and, with its other bits, the song folder's media files (see
// SongMedia), the second the frame length; the rest is the chart file, which
// is compiled, loaded and played for a hundred or so frames, mixing as it goes.
void FeedPlay(const uint8_t* data, size_t size);

// The difficulty table reader: the bytes as a page (its meta tag), as a
// header and as the data.
void FeedTable(const uint8_t* data, size_t size);

// The error the last feeder's reader refused its bytes with ("" when it took
// them, or when the reader reports problems another way).
const std::string& LastReaderError();

// Feeder by reader name: chart, bmson, bmp, dib, jpeg, archive, wav, midi, banner,
// png, sound, video, play, table; null for another name.
Feeder FeederNamed(const std::string& reader);
const std::vector<std::string>& ReaderNames();

} // namespace tappo::fuzz
