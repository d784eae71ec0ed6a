// Small media files for the fuzz targets' song folders and seeds, made here:
// sounds in every form the keysound loader takes (WAV, Ogg Vorbis, FLAC, MP3,
// RIFF files in formats only libsndfile reads, compressed files named ".wav")
// and pictures in every form the image loader takes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tappo::fuzz {

struct MediaFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

// A short tone through libsndfile's writer in `format` (SF_FORMAT_...), or no
// bytes when this libsndfile cannot write it.
std::vector<uint8_t> EncodeTone(int format, int channels, int rate, int frames);

// The play target's song folder for one choice (7 bits). Two sound stems and
// two picture stems, each in a form picked by bits of `choice`:
//   bits 0-1  "s1": s1.wav (WAV), s1.ogg, s1.wav holding FLAC, s1.mp3
//   bits 2-3  "s2": s2.wav holding Ogg, s2.flac, s2.wav in mu-law, s2.wav in IMA ADPCM
//   bits 4-5  "p1": p1.bmp, p1.png, p1.jpg, p1.bmp holding PNG
//   bit 6     "p2": p2.bmp holding JPEG, 8-bit p2.bmp
// A chart that names "s1.wav" finds "s1.ogg" when that is the player chosen.
std::vector<MediaFile> SongMedia(uint8_t choice);

} // namespace tappo::fuzz
