// Loading a chart's files on two threads: the work split, and loads that
// must equal, byte for byte and report for report, a load one file after another.
#include "TestUtil.h"
#include "base/InOrder.h"
#include "chart/FileLookup.h"
#include "files/Files.h"
#include "formats/Picture.h"
#include "media/Media.h"
#include "platform/Display.h"
#include "tools/Assets.h"
#include "tools/Jpeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace tappo;
using namespace tappo::test;

namespace {

// Runs `f` with the helper thread allowed or not, and allows it again after.
template <typename F> void WithHelper(bool allowed, F f) {
    AllowInOrderHelper(allowed);
    try {
        f();
    } catch (...) {
        AllowInOrderHelper(true);
        throw;
    }
    AllowInOrderHelper(true);
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

// Every item is worked on once and finished in order, with the exception its
// work threw (and only that one).
TEST(InOrder, EveryItemOnceAndTakenInOrderEitherWay) {
    for (bool helper : {true, false}) {
        WithHelper(helper, [&] {
            const int n = 200;
            std::vector<std::atomic<int>> worked(n);
            std::vector<int> taken;
            std::mutex workersSeen;
            std::vector<int> workers;
            const bool all = RunInOrder(
                n,
                [&](int i, int worker) {
                    worked[size_t(i)]++;
                    {
                        std::lock_guard<std::mutex> lock(workersSeen);
                        workers.push_back(worker);
                    }
                    if (i % 7 == 3) throw i;
                },
                [&](int i, const std::exception_ptr& error) {
                    EXPECT_EQ(worked[size_t(i)], 1) << "finished before its work was done";
                    int thrown = -1;
                    try {
                        if (error) std::rethrow_exception(error);
                    } catch (int e) {
                        thrown = e;
                    }
                    EXPECT_EQ(thrown, i % 7 == 3 ? i : -1);
                    taken.push_back(i);
                    return true;
                });
            EXPECT_TRUE(all);
            ASSERT_EQ(taken.size(), size_t(n));
            for (int i = 0; i < n; ++i) {
                EXPECT_EQ(taken[size_t(i)], i);
                EXPECT_EQ(worked[size_t(i)], 1);
            }
            for (int w : workers)
                EXPECT_TRUE(w >= 0 && w < InOrderWorkers);
            if (!helper) {
                EXPECT_EQ(std::count(workers.begin(), workers.end(), 0), n);
            }
        });
    }
}

TEST(InOrder, StopsWhenFinishSaysSoAndPassesOnItsError) {
    for (bool helper : {true, false}) {
        WithHelper(helper, [&] {
            std::atomic<int> running{0}, started{0};
            std::vector<int> taken;
            // Work that lasts a moment, so that work still going on after
            // the return would show.
            const auto work = [&](int, int) {
                ++running, ++started;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                --running;
            };
            const bool all = RunInOrder(100, work, [&](int i, const std::exception_ptr&) {
                taken.push_back(i);
                return i < 9;
            });
            EXPECT_FALSE(all);
            EXPECT_EQ(taken.size(), 10u) << "nothing is finished after the stop";
            EXPECT_EQ(running, 0) << "no work goes on after the return";
            // How far the helper ran ahead before the stop depends on the
            // machine's timing; all that is sure is that it started something.
            EXPECT_GE(started, 10);

            taken.clear();
            EXPECT_THROW(RunInOrder(50, work,
                                    [&](int i, const std::exception_ptr&) -> bool {
                                        taken.push_back(i);
                                        if (i == 3) throw std::runtime_error("finish failed");
                                        return true;
                                    }),
                         std::runtime_error);
            EXPECT_EQ(taken.size(), 4u);
            EXPECT_EQ(running, 0);
        });
    }
}

TEST(ParallelLoad, KeysoundsAndTheirProblemsAsInALoadOneByOne) {
    // Good sounds of both rates and channel counts, missing files and files
    // that are no sound: the samples and the problem log of a two-thread load
    // equal those of a load one file after another.
    TempDir dir;
    ChartData chart;
    for (int i = 1; i < 120; ++i) {
        const std::string name = "s" + std::to_string(i) + ".wav";
        chart.WavFileNames[size_t(i)] = name;
        if (i % 7 == 0) continue; // missing
        std::vector<uint8_t> bytes;
        if (i % 11 == 0) {
            bytes = {'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'u', 'n', 'd'};
        } else {
            const int channels = 1 + i % 2, rate = i % 3 ? 22050 : 44100;
            std::vector<int16_t> s(size_t(rate / 20 * channels + i));
            for (size_t k = 0; k < s.size(); ++k)
                s[k] = int16_t(7000 * std::sin(double(k) * 0.01 * i));
            bytes = tools::EncodeWav16(s, channels, rate);
        }
        WriteFileAtomic(dir.File(name), bytes);
    }
    for (int i = 1; i < 120; ++i)
        chart.WavFileNames[size_t(i)] = dir.File(chart.WavFileNames[size_t(i)]);
    tools::WriteProgramAssets(dir.Folder());

    KeysoundBank slots[2];
    std::string logs[2];
    std::vector<int> progress[2];
    for (int run = 0; run < 2; ++run) {
        const std::string log = dir.File("ddsd" + std::to_string(run) + ".debug");
        ProblemLog problems(log);
        Mixer sound(problems);
        WithHelper(run == 0, [&] {
            FileResolver files;
            ASSERT_TRUE(LoadKeysounds(
                slots[run],
                {.Chart = chart, .Sound = sound, .ProgramFolder = dir.Folder(), .Files = files},
                [&](int done, int total) {
                    progress[run].push_back(done * 1000 + total);
                    return true;
                }));
        });
        logs[run] = FileText(log);
    }
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_NE(logs[0].find("s7.wav"), std::string::npos);
    EXPECT_EQ(progress[0], progress[1]);
    EXPECT_EQ(progress[0].size(), 119u);
    for (size_t i = 0; i < slots[0].size(); ++i) {
        ASSERT_EQ(bool(slots[0][i]), bool(slots[1][i])) << i;
        if (!slots[0][i]) continue;
        const Sample &a = *slots[0][i], &b = *slots[1][i];
        ASSERT_EQ(a.HasBuffer(), b.HasBuffer()) << i;
        EXPECT_EQ(a.DataLength, b.DataLength) << i;
        EXPECT_TRUE(a.Format == b.Format) << i;
        if (a.HasBuffer()) {
            EXPECT_EQ(a.Pcm()->ToVector(), b.Pcm()->ToVector()) << i;
        }
    }
}

TEST(ParallelLoad, StoppedKeysoundLoadReportsNoMore) {
    TempDir dir;
    ChartData chart;
    for (int i = 1; i < 60; ++i)
        chart.WavFileNames[size_t(i)] = dir.File("missing" + std::to_string(i) + ".wav");
    const std::string log = dir.File("ddsd.debug");
    ProblemLog problems(log);
    Mixer sound(problems);
    KeysoundBank slots;
    FileResolver files;
    int calls = 0;
    EXPECT_FALSE(LoadKeysounds(
        slots, {.Chart = chart, .Sound = sound, .ProgramFolder = dir.Folder(), .Files = files},
        [&](int, int) { return ++calls < 5; }));
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(problems.Count(), 5) << "the files after the stop are not reported";
    EXPECT_FALSE(slots[StepTickSlot]);
}

TEST(ParallelLoad, ImagesAndTheFirstErrorAsInALoadOneByOne) {
    // Bitmaps of every kind with gaps, larger and smaller than the screen,
    // JPEG, a broken file and a missing one: the surfaces, the layer image and
    // the error of a two-thread load equal a load one after another, and each
    // picture equals the picture reader's whole picture stretched by the canvas.
    TempDir dir;
    ChartData chart;
    std::vector<std::vector<uint8_t>> files;
    for (int i = 0; i < 40; ++i) {
        const int w = i % 3 ? 300 + i : 700 + i, h = i % 3 ? 200 + i : 500 + i;
        std::vector<uint8_t> bytes;
        if (i % 4 == 0) {
            Image picture(w, h);
            for (size_t k = 0; k < picture.Rgb.size(); ++k)
                picture.Rgb[k] = uint32_t(k * 0x010305 + uint32_t(i)) & 0xFFFFFF;
            bytes = i % 8 ? EncodeBmp(BitmapFromPicture(picture)) : tools::EncodeJpeg(picture);
        } else {
            bytes = GappedRleBmp(w, h, i);
        }
        if (i == 13) bytes.resize(30); // broken
        const std::string name = dir.File("b" + std::to_string(i) + (i % 8 == 0 ? ".jpg" : ".bmp"));
        if (i != 17) WriteFileAtomic(name, bytes); // 17 is missing
        chart.BmpFileNames[size_t(i + 1)] = name;
    }
    HeadlessPresenter presenter;
    Display display(presenter, nullptr);
    display.Open();
    const int w = display.Mode.Width, h = display.Mode.Height;
    BgaBank surfaces[2];
    int32_t layers[2] = {-1, -1};
    std::string errors[2];
    for (int run = 0; run < 2; ++run) {
        // Surfaces that held other pictures before: nothing of them may stay.
        for (auto& s : surfaces[run]) {
            s = std::make_unique<Surface>(&display);
            s->SetSize(w, h);
            std::fill_n(s->Bits(), size_t(w) * size_t(h), uint16_t(0x5A5A));
        }
        WithHelper(run == 0, [&] {
            FileResolver resolver;
            errors[run] = ErrorOf([&] {
                LoadBgaImages(BgaLoad{surfaces[run], chart, display, layers[run], resolver});
            });
        });
    }
    EXPECT_FALSE(errors[0].empty());
    EXPECT_EQ(errors[0], errors[1]);
    EXPECT_EQ(layers[0], layers[1]);
    EXPECT_EQ(layers[0], chart.SlotLimit - 1) << "the highest slot without a file";
    for (size_t i = 0; i < surfaces[0].size(); ++i) {
        ASSERT_EQ(bool(surfaces[0][i]), bool(surfaces[1][i])) << i;
        if (!surfaces[0][i]) continue;
        ASSERT_EQ(
            std::memcmp(surfaces[0][i]->Bits(), surfaces[1][i]->Bits(), size_t(w) * size_t(h) * 2),
            0)
            << i;
    }
    EXPECT_FALSE(surfaces[0][14]) << "broken";
    EXPECT_FALSE(surfaces[0][18]) << "missing";
    for (int i = 0; i < 40; ++i) {
        if (i == 13 || i == 17) continue;
        Surface expected(&display);
        expected.SetSize(w, h);
        const Image picture = ReadBgaPicture(chart.BmpFileNames[size_t(i + 1)]);
        expected.Canvas().CopyRect(Bounds(0, 0, w, h), picture,
                                   Bounds(0, 0, picture.Width, picture.Height));
        ASSERT_TRUE(surfaces[0][size_t(i + 1)]) << i;
        ASSERT_EQ(std::memcmp(surfaces[0][size_t(i + 1)]->Bits(), expected.Bits(),
                              size_t(w) * size_t(h) * 2),
                  0)
            << i;
    }
}

TEST(ParallelLoad, ImagesLoadAgainWholeAfterAStoppedLoad) {
    // Esc during the load: the slots it did not reach must not be left with
    // surfaces that cannot be drawn on, so the next load of the chart shows
    // every picture.
    TempDir dir;
    ChartData chart;
    for (int i = 0; i < 30; ++i) {
        const std::string name = dir.File("b" + std::to_string(i) + ".bmp");
        WriteFileAtomic(name, GappedRleBmp(200 + i, 150, i));
        chart.BmpFileNames[size_t(i + 1)] = name;
    }
    HeadlessPresenter presenter;
    Display display(presenter, nullptr);
    display.Open();
    const int w = display.Mode.Width, h = display.Mode.Height;
    BgaBank stopped, whole;
    int32_t layer = 0;
    int calls = 0;
    FileResolver files;
    EXPECT_FALSE(LoadBgaImages(
        BgaLoad{stopped, chart, display, layer, files, [&](int, int) { return ++calls < 3; }}));
    for (const auto& s : stopped)
        EXPECT_TRUE(!s || s->HasPixels());
    // The three files taken in before the stop keep their pictures; the slots
    // after them are empty, whatever the second thread had drawn ahead.
    for (size_t i = 1; i <= 30; ++i)
        EXPECT_EQ(stopped[i] != nullptr, i <= 3) << i;
    ASSERT_TRUE(LoadBgaImages(BgaLoad{stopped, chart, display, layer, files}));
    ASSERT_TRUE(LoadBgaImages(BgaLoad{whole, chart, display, layer, files}));
    for (size_t i = 1; i <= 30; ++i) {
        ASSERT_TRUE(stopped[i] && whole[i]) << i;
        ASSERT_EQ(std::memcmp(stopped[i]->Bits(), whole[i]->Bits(), size_t(w) * size_t(h) * 2), 0)
            << i;
    }
}
