#include "formats/WaveWriter.h"

#include "base/Errors.h"
#include "formats/Wave.h"

#include <algorithm>

#include <unistd.h>

namespace tappo {
namespace {

void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = uint8_t(v >> 24);
}

void Header(uint8_t* h, uint64_t frames) {
    const uint32_t data = uint32_t(frames * 4);
    const uint8_t fixed[44] = {'R', 'I', 'F',  'F',  0,   0,   0,    0,    'W', 'A', 'V',
                               'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                               2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1, 2,   0,   4,
                               0,   16,  0,    'd',  'a', 't', 'a',  0,    0,   0,   0};
    std::copy(fixed, fixed + 44, h);
    Put32(h + 4, 36 + data);
    Put32(h + 40, data);
}

} // namespace

WaveFileWriter::WaveFileWriter(std::string path, uint64_t maxFrames)
    : path_(std::move(path)), temp_(path_ + ".tmp" + std::to_string(::getpid())),
      maxFrames_(std::min(maxFrames, MaxFrames)) {
    file_ = std::fopen(temp_.c_str(), "wb");
    if (!file_) throw Error(FormatText(Tr("ファイル %s を作成できません"), path_));
    uint8_t h[44];
    Header(h, 0);
    failed_ = std::fwrite(h, 1, 44, file_) != 44;
}

WaveFileWriter::~WaveFileWriter() {
    if (file_) {
        std::fclose(file_);
        std::remove(temp_.c_str());
    }
}

void WaveFileWriter::Write(const int16_t* stereo, size_t frames) {
    if (!file_ || frames == 0 || tooLong_) return;
    if (frames > maxFrames_ - frames_) {
        tooLong_ = true;
        return;
    }
    failed_ |= std::fwrite(stereo, 4, frames, file_) != frames; // little-endian host
    frames_ += frames;
}

void WaveFileWriter::Finish() {
    if (!file_) return;
    if (tooLong_) {
        std::fclose(file_);
        file_ = nullptr;
        std::remove(temp_.c_str());
        throw Error(path_ + ": " + Tr(TextTooLongForWave));
    }
    uint8_t h[44];
    Header(h, frames_);
    failed_ |= std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h, 1, 44, file_) != 44;
    failed_ |= std::fclose(file_) != 0;
    file_ = nullptr;
    if (failed_ || std::rename(temp_.c_str(), path_.c_str()) != 0) {
        std::remove(temp_.c_str());
        throw Error(FormatText(Tr("ファイル %s に書き込めません"), path_));
    }
}

} // namespace tappo
