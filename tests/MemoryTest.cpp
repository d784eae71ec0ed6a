// What the readers ask of memory for hostile files. This test program replaces
// the global allocator: it records the largest single request, and refuses
// requests above a limit the way a machine without that much memory would.
#include "HostileInput.h"
#include "TestUtil.h"
#include "base/Errors.h"
#include "files/Files.h"
#include "platform/Sound.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <new>

namespace {

std::atomic<size_t> largestRequest{0};
std::atomic<size_t> requestLimit{size_t(1) << 30};

void* Allocate(size_t size) {
    size_t seen = largestRequest.load();
    while (size > seen && !largestRequest.compare_exchange_weak(seen, size)) {
    }
    if (size > requestLimit.load()) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

// Largest single request made while `f` runs, with requests above `limit` refused.
template <typename F> size_t LargestRequest(F&& f, size_t limit = size_t(1) << 30) {
    largestRequest = 0;
    requestLimit = limit;
    f();
    requestLimit = size_t(1) << 30;
    return largestRequest.load();
}

} // namespace

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

using namespace tappo;
using namespace tappo::test;

TEST(ReaderMemory, AHeaderOnlyBitmapTakesNoPixelMemory) {
    const std::vector<uint8_t> file = HeaderOnlyBmp(8192, 4096);
    std::string error;
    const size_t largest =
        LargestRequest([&] { error = ErrorOf([&] { DecodeBmpFile(file.data(), file.size()); }); });
    EXPECT_EQ(error, "ビットマップイメージが不正です");
    EXPECT_LT(largest, size_t(64) << 10);
}

TEST(ReaderMemory, AOneHertzWaveIsNotMultipliedToTheMixRate) {
    const std::vector<uint8_t> file = LowRateWave(1, 4000);
    std::string problem;
    const size_t largest = LargestRequest([&] {
        TWaveFormat format;
        EXPECT_EQ(DecodeWave(file, format, problem), nullptr);
    });
    EXPECT_EQ(problem, "のfmtチャンクが不正です");
    EXPECT_LT(largest, size_t(64) << 10);
}

TEST(ReaderMemory, RunningOutOfMemoryIsALoadFailureNotAnException) {
    // Ten seconds at 22.05 kHz converts to about 1.7 MB, more than allowed here.
    TTempDir dir;
    TBytes w;
    const uint32_t frames = 220500;
    w.str("RIFF").u32(4 + 8 + 16 + 8 + frames * 2).str("WAVE");
    w.str("fmt ").u32(16).u16(1).u16(1).u32(22050).u32(44100).u16(2).u16(16);
    w.str("data").u32(frames * 2);
    w.b.resize(w.b.size() + frames * 2, 0);
    WriteFileAtomic(dir.File("big.wav"), w.b);
    TDDSD sound(TSoundOutput::Pull, dir.File("ddsd.debug"));
    std::unique_ptr<TDDSDWaveData> sample;
    LargestRequest([&] { EXPECT_NO_THROW(sample = sound.LoadSample(dir.File("big.wav"))); },
                   size_t(1) << 20);
    ASSERT_TRUE(sample);
    EXPECT_FALSE(sample->HasBuffer());
    std::ifstream log(dir.File("ddsd.debug"));
    std::string line;
    std::getline(log, line);
    EXPECT_EQ(line,
              "debug#00001 ... " + dir.File("big.wav") + "の読み込み中にメモリが不足しました");
    // With memory enough it loads.
    EXPECT_TRUE(sound.LoadSample(dir.File("big.wav"))->HasBuffer());
}
