#include "app/CommandLine.h"

#include "base/Errors.h"
#include "formats/VideoWriter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace tappo {
namespace {

bool ParseWhole(const std::string& s, long min, long max, long& out) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (errno || *end || v < min || v > max) return false;
    out = v;
    return true;
}

} // namespace

bool HasChartExtension(const std::string& path, bool standard) {
    ChartReading reading;
    reading.Standard = standard;
    return reading.IsChartFile(path);
}

std::string UsageText() {
    return Tr("Usage: tappoplayer [options] [CHART]\n"
              "\n"
              "Plays a BMS chart by itself (.bms; with --standard also .bme, .bml, .pms\n"
              "and .bmson). Without CHART, every chart below the song folders is listed\n"
              "on the song-select screen.\n"
              "\n"
              "Options:\n"
              "  --help                   show this help and exit\n"
              "  --version                show the version and exit\n"
              "  --windowed               start in a window (as holding Z or Space at start)\n"
              "  --scale N                window scale (default: the largest that fits)\n"
              "  --headless               no window and no sound device; virtual clock\n"
              "  --frames N               headless: end after N frames\n"
              "  --frame-ms MS            headless: milliseconds per frame, 1-1000 (default\n"
              "                           10). A song starts only at 40 frames a second, so\n"
              "                           until it starts frames are at most 25 ms apart;\n"
              "                           sounds are placed by song time, so a render is\n"
              "                           sample-exact at any step\n"
              "  --screenshot FRAME:FILE  save the picture after FRAME is drawn, as PNG\n"
              "                           (repeatable)\n"
              "  --songs DIR              search DIR for charts instead of the song folders\n"
              "                           of the settings (or the default ones); repeatable\n"
              "  --audio-buffer FRAMES    sound device buffer, 64-8192 frames (default 512)\n"
              "  --volume 0-100           master volume of keysounds and music (default 100)\n"
              "  --render-wav OUT.wav     play CHART offline, as fast as possible, and write\n"
              "                           the mix (16-bit stereo, 44.1 kHz) to OUT.wav; a\n"
              "                           song longer than a WAV file holds (6 h 45 min)\n"
              "                           is refused\n"
              "  --render-video OUT       play CHART offline and write a video with its\n"
              "                           sound, from the loading screen to the song's end\n"
              "                           plus a second: OUT.mkv (H.264, FLAC: the\n"
              "                           --render-wav mix after the loading's silence),\n"
              "                           OUT.mp4 (H.264, AAC) or OUT.webm (VP9, Opus)\n"
              "  --video-scale N          --render-video: N x N pixels a screen pixel, 1-16\n"
              "                           (default 4: 1280x960)\n"
              "  --video-fps N            --render-video: frames a second, 1-240 (default 60)\n"
              "  --video-crf N            --render-video: quality, 0 to 51, lower is better\n"
              "                           and larger (default 18 for H.264, 31 for VP9)\n"
              "  --video-preset NAME      --render-video: encoding speed against size, x264's\n"
              "                           presets ultrafast ... veryfast (default) ... placebo;\n"
              "                           VP9 takes the matching cpu-used (default 8)\n"
              "  --chart-image OUT.png    draw CHART whole as a score: measures bottom to\n"
              "                           top in columns, its lanes, tempo changes, stops,\n"
              "                           long notes and mines; a picture wider than 16000\n"
              "                           pixels goes on in OUT-1.png, OUT-2.png ...\n"
              "  --chart-image-measures N --chart-image: measures a column, 1-64 (default 16)\n"
              "  --inspect CHART          compile CHART and list its header, measure timing\n"
              "                           and event lists; nothing is played\n"
              "  --standard               read charts as they are written today (select screen,\n"
              "                           CHART, --inspect, --render-wav): base-36 ids, tempo\n"
              "                           changes and stops inside measures, #RANDOM blocks,\n"
              "                           long notes, .bme/.bml/.pms and .bmson charts, 256\n"
              "                           sound channels, #VOLWAV and a limiter instead of\n"
              "                           clipping; headers that do not read are warned\n"
              "                           about, not fatal. Without it charts are read as the\n"
              "                           format stood around 2000 (hexadecimal ids, tempo\n"
              "                           changes at measure starts, no stops)\n"
              "  --random-seed N          --standard: #RANDOM draws from seed N (0 or more).\n"
              "                           Without it every #RANDOM takes 1 in --inspect,\n"
              "                           --render-wav and --headless runs, and draws at\n"
              "                           random in live play\n"
              "  --lanes keys|arrows      --standard: each key in its own lane, in the chart's\n"
              "                           key layout (keys, the default), or the keys folded\n"
              "                           onto four arrow lanes per player (arrows)\n"
              "  --exact                  read charts as the format stood around 2000 (the\n"
              "                           default, unless the settings say standard)\n"
              "  --full-screen            start full screen (the default, unless the\n"
              "                           settings say window)\n"
              "  --auto-reading           CHART plays in the standard reading where the exact\n"
              "                           reading cannot read it (the file manager's way)\n"
              "  --scan                   update the song database from the song folders (only\n"
              "                           new and changed charts are read), print a summary\n"
              "                           and exit\n"
              "  --rescan                 as --scan, but every chart is read again\n"
              "  --library-db FILE        the song database (default\n"
              "                           $XDG_DATA_HOME/tappoplayer/library.db)\n"
              "  --add-table URL          fetch a difficulty table (the URL or file of its\n"
              "                           HTML page or header JSON) into the song database,\n"
              "                           print its name and how many of its charts you\n"
              "                           have, and exit\n"
              "  --update-tables          fetch every table again (and those the settings\n"
              "                           name with \"table =\" lines), one line each, and exit\n"
              "  --save-settings          also write --songs, --standard/--exact, --scale,\n"
              "                           --windowed/--full-screen, --audio-buffer,\n"
              "                           --volume and --rate into the settings file, then\n"
              "                           run as asked\n"
              "  --start-measure N        CHART starts at the start of its measure N\n"
              "  --start-ms MS            CHART starts MS milliseconds into the song\n"
              "  --scroll-speed X         spread the arrows X times, 0.5-4 in steps of 0.25\n"
              "                           (F8 and F9 in play; kept by --save-settings)\n"
              "  --loop FROM-TO           play measures FROM to TO over and over, from the\n"
              "                           line of FROM to the line of TO (I, O and Backspace\n"
              "                           in play); CHART starts at FROM unless told otherwise\n"
              "  --loop-count N           end after N passes of the loop (a render: 1 unless\n"
              "                           given; other runs loop on)\n"
              "  --rate R                 play at R times the speed, 0.5-2 in steps of 0.05,\n"
              "                           the pitch kept (, and . in play)\n"
              "  --rate-pitch             at a rate other than 1, let the pitch move with the\n"
              "                           speed (resampled) instead of keeping it\n"
              "\n"
              "Settings: $XDG_CONFIG_HOME/tappoplayer/settings (by default\n"
              "~/.config/tappoplayer/settings), one \"key = value\" a line, # comments:\n"
              "  songs = DIR (repeatable), reading = exact|standard, scale = 1-16|auto,\n"
              "  screen = window|full, audio-buffer = 64-8192, volume = 0-100, rate = 0.5-2,\n"
              "  scroll-speed = 0.5-4, table = URL|FILE (repeatable),\n"
              "  sort = folders|title|artist|level|BPM|length|notes|added|played\n"
              "The command line overrides them for one run. Without song folders in either,\n"
              "the program folder and $XDG_DATA_HOME/tappoplayer/songs (by default\n"
              "~/.local/share/tappoplayer/songs, made on the first run) are searched.\n"
              "\n"
              "Select screen: Left/Right change song folder, Up/Down the chart, Z or Space\n"
              "starts it, Esc quits. Playing: Esc leaves, F4 pauses (Up/Down step while\n"
              "paused), F5 restarts, PgUp/PgDn move the arrows by 1 ms, F1 frame rate,\n"
              "F2 background images, F3 full screen/window, F6 step tick, F7 warp,\n"
              "Left/Right one measure back/on, [ and ] eight, F8/F9 scroll speed,\n"
              "I and O mark the loop's start and end at the measure playing, Backspace\n"
              "clears the loop.\n"
              ", and . the playback rate down and up by 0.05.\n"
              "On the select screen, Home/End go to the first/last chart and a letter or\n"
              "digit (but H J K L Z) to the next chart whose title starts with it; a held\n"
              "arrow key repeats, faster and faster. Everywhere: - and + (or =) turn the\n"
              "volume down and up by 10 and store it in the settings.\n"
              "Finding a song (by the song database that --scan fills): Tab cycles the\n"
              "sort (title, artist, level, BPM, length, notes, date added, last played,\n"
              "folders; Shift+Tab back; kept in the settings), F9 the key layout shown\n"
              "(all, 4 arrows, 5K, 7K, 9B, 10K, 14K), [ and ] the lowest level shown,\n"
              "{ and } the highest, / or F8 opens the search line (title, subtitle,\n"
              "artist, genre; Backspace edits, Enter keeps the search, Esc clears it).\n"
              "Difficulty tables (--add-table) follow the song folders, a folder for each\n"
              "level; a chart you lack is dimmed, with its download URL.\n");
}

ChartReading ChartReadingOf(const CommandLine& cl, bool drawAtRandom) {
    ChartReading reading;
    reading.Standard = cl.Standard;
    reading.ArrowLanes = cl.ArrowLanes;
    if (cl.HasRandomSeed) {
        reading.Options.UseSeed = true;
        reading.Options.Seed = cl.RandomSeed;
    } else {
        reading.DrawAtRandom = drawAtRandom;
    }
    return reading;
}

namespace {

// The options that take a whole number: its range, and the message when the
// value is missing or out of it.
struct NumberOption {
    const char* Name;
    long Min, Max;
    const char* Error;
    void (*Set)(CommandLine& cl, long n);
};

const NumberOption NumberOptions[] = {
    {"--frames", 0, LONG_MAX, ForCatalogue("--frames needs a whole number of frames"),
     [](CommandLine& cl, long n) { cl.Frames = n; }},
    {"--frame-ms", 1, 1000,
     ForCatalogue("--frame-ms needs a number of milliseconds from 1 to 1000"),
     [](CommandLine& cl, long n) { cl.FrameMs = int(n); }},
    {"--audio-buffer", 64, 8192,
     ForCatalogue("--audio-buffer needs a number of frames from 64 to 8192"),
     [](CommandLine& cl, long n) {
         cl.AudioBufferFrames = *(cl.Given.AudioBufferFrames = int(n));
     }},
    {"--random-seed", 0, LONG_MAX, ForCatalogue("--random-seed needs a whole number, 0 or more"),
     [](CommandLine& cl, long n) {
         cl.HasRandomSeed = true;
         cl.RandomSeed = uint64_t(n);
     }},
    {"--volume", 0, 100, ForCatalogue("--volume needs a whole number from 0 to 100"),
     [](CommandLine& cl, long n) { cl.Volume = *(cl.Given.Volume = int(n)); }},
    {"--video-scale", 1, 16, ForCatalogue("--video-scale needs a whole number from 1 to 16"),
     [](CommandLine& cl, long n) { cl.VideoScale = int(n); }},
    {"--video-fps", 1, 240, ForCatalogue("--video-fps needs a whole number from 1 to 240"),
     [](CommandLine& cl, long n) { cl.VideoFps = int(n); }},
    {"--video-crf", 0, 51, ForCatalogue("--video-crf needs a whole number from 0 to 51"),
     [](CommandLine& cl, long n) { cl.VideoCrf = int(n); }},
    {"--chart-image-measures", 1, 64,
     ForCatalogue("--chart-image-measures needs a whole number from 1 to 64"),
     [](CommandLine& cl, long n) { cl.ChartImageMeasures = int(n); }},
    {"--scale", 1, 16, ForCatalogue("--scale needs a whole number from 1 to 16"),
     [](CommandLine& cl, long n) { cl.Scale = *(cl.Given.Scale = int(n)); }},
    {"--start-measure", 0, 999, ForCatalogue("--start-measure needs a measure from 0 to 999"),
     [](CommandLine& cl, long n) { cl.StartMeasure = int(n), cl.StartMs.reset(); }},
    {"--loop-count", 1, 1000000,
     ForCatalogue("--loop-count needs a whole number from 1 to 1000000"),
     [](CommandLine& cl, long n) { cl.LoopCount = int(n); }},
    {"--start-ms", 0, INT32_MAX,
     ForCatalogue("--start-ms needs a whole number of milliseconds, 0 or more"),
     [](CommandLine& cl, long n) { cl.StartMs = int32_t(n), cl.StartMeasure.reset(); }},
};

// "--scroll-speed X": 0.5 to 4 in steps of 0.25.
bool ParseScrollSpeed(const std::string& v, CommandLine& cl) {
    double x = 0;
    const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), x);
    if (v.empty() || error != std::errc() || end != v.data() + v.size() || !(x >= 0.5) || x > 4 ||
        std::fmod(x * 4, 1.0) != 0)
        return false;
    cl.ScrollFactor = *(cl.Given.ScrollSpeed = x);
    return true;
}

// "--loop FROM-TO": two measures 0-999, in either order.
bool ParseLoop(const std::string& v, CommandLine& cl) {
    const size_t dash = v.find('-');
    long first = 0, last = 0;
    if (dash == std::string::npos || !ParseWhole(v.substr(0, dash), 0, 999, first) ||
        !ParseWhole(v.substr(dash + 1), 0, 999, last) || !std::isdigit(uint8_t(v[dash + 1])))
        return false;
    cl.LoopMeasures = std::make_pair(int(std::min(first, last)), int(std::max(first, last)));
    return true;
}

// Options without a value; false for any other word.
bool ParseFlag(const std::string& a, CommandLine& cl) {
    if (a == "--help" || a == "-h") return cl.Help = true;
    if (a == "--version") return cl.Version = true;
    if (a == "--windowed" || a == "--full-screen") {
        cl.Windowed = *(cl.Given.Windowed = a == "--windowed");
        return true;
    }
    if (a == "--headless") return cl.Headless = true;
    if (a == "--standard" || a == "--exact") {
        cl.Standard = *(cl.Given.Standard = a == "--standard");
        return true;
    }
    if (a == "--auto-reading") return cl.AutoReading = true;
    if (a == "--save-settings") return cl.SaveSettings = true;
    if (a == "--scan") return cl.Scan = true;
    if (a == "--rescan") return cl.Scan = cl.Rescan = true;
    if (a == "--update-tables") return cl.UpdateTables = true;
    if (a == "--rate-pitch") {
        cl.RateKeepsPitch = false;
        return true;
    }
    return false;
}

// "--screenshot FRAME:FILE.png"; false when the value is not of that form.
bool ParseScreenshot(const std::string& v, CommandLine& cl) {
    const size_t colon = v.find(':');
    long frame = 0;
    if (colon == std::string::npos || colon + 1 >= v.size() ||
        !ParseWhole(v.substr(0, colon), 1, LONG_MAX, frame))
        return false;
    cl.Screenshots.emplace_back(frame, v.substr(colon + 1));
    return true;
}

// Options that take a word: none when `a` is none of them, else the error of
// its value `v`, empty when it reads.
std::optional<std::string> ParseValueOption(const std::string& a, const std::string& v,
                                            bool hasValue, CommandLine& cl) {
    if (a == "--songs" || a == "--render-wav" || a == "--render-video" || a == "--inspect") {
        if (v.empty()) {
            const char* missing = ForCatalogue("--inspect needs a chart file");
            if (a == "--songs") missing = ForCatalogue("--songs needs a folder");
            if (a == "--render-wav") missing = ForCatalogue("--render-wav needs an output file");
            if (a == "--render-video")
                missing = ForCatalogue("--render-video needs an output file");
            return Tr(missing);
        }
        if (a == "--songs")
            cl.Songs.push_back(v), cl.Given.Songs.push_back(v);
        else if (a == "--render-video")
            cl.RenderVideo = v;
        else
            (a == "--render-wav" ? cl.RenderWav : cl.Inspect) = v;
    } else if (a == "--video-preset") {
        if (!IsVideoPreset(v))
            return Tr("--video-preset needs ultrafast, superfast, veryfast, faster, fast, "
                      "medium, slow, slower, veryslow or placebo");
        cl.VideoPreset = v;
    } else if (a == "--chart-image") {
        if (v.empty()) return Tr("--chart-image needs an output file");
        cl.ChartImage = v;
    } else if (a == "--library-db") {
        if (v.empty()) return Tr("--library-db needs a file");
        cl.LibraryDb = v;
    } else if (a == "--add-table") {
        if (v.empty()) return Tr("--add-table needs a URL or a file");
        cl.AddTable = v;
    } else if (a == "--lanes") {
        if (v != "keys" && v != "arrows") return Tr("--lanes needs keys or arrows");
        cl.ArrowLanes = v == "arrows";
    } else if (a == "--scroll-speed") {
        if (!ParseScrollSpeed(v, cl))
            return Tr("--scroll-speed needs a number from 0.5 to 4 in steps of 0.25");
    } else if (a == "--loop") {
        if (!ParseLoop(v, cl)) return Tr("--loop needs two measures FROM-TO, each from 0 to 999");
    } else if (a == "--rate") {
        const std::optional<int> percent = ParseRatePercent(v);
        if (!percent) return Tr("--rate needs a number from 0.5 to 2 in steps of 0.05");
        cl.RatePercent = *(cl.Given.RatePercent = percent);
    } else if (a == "--screenshot") {
        if (!hasValue || !ParseScreenshot(v, cl))
            return Tr("--screenshot needs FRAME:FILE.png, with FRAME 1 or more");
    } else {
        return std::nullopt;
    }
    return std::string();
}

// A video render names its chart and a file type the writer knows, and is the
// run's only render: refused here, before anything is loaded.
CommandLine CheckVideoRender(CommandLine cl) {
    if (cl.RenderVideo.empty()) return cl;
    if (cl.Arguments.empty())
        cl.Error = Tr("--render-video needs a chart to render");
    else if (!cl.RenderWav.empty())
        cl.Error = Tr("--render-video and --render-wav cannot be used together");
    else if (cl.RatePercent != 100)
        cl.Error = Tr("--render-video plays at rate 1 only; leave --rate out");
    else if (VideoTypeOf(cl.RenderVideo).empty())
        cl.Error = cl.RenderVideo + ": " + Tr(TextUnknownVideoType);
    return cl;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    auto fail = [&](const std::string& text) {
        cl.Error = text;
        return cl;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string v = hasValue ? args[i + 1] : std::string();
        if (a == "--") {
            cl.Arguments.insert(cl.Arguments.end(), args.begin() + long(i) + 1, args.end());
            break;
        }
        if (ParseFlag(a, cl)) continue;
        const auto number = std::find_if(std::begin(NumberOptions), std::end(NumberOptions),
                                         [&](const NumberOption& o) { return a == o.Name; });
        if (number != std::end(NumberOptions)) {
            long n = 0;
            if (!hasValue || !ParseWhole(v, number->Min, number->Max, n))
                return fail(Tr(number->Error));
            number->Set(cl, n);
            ++i;
        } else if (const auto error = ParseValueOption(a, v, hasValue, cl)) {
            if (!error->empty()) return fail(*error);
            ++i;
        } else if (a.size() > 1 && a[0] == '-') {
            return fail(FormatText(Tr("unknown option %s"), a));
        } else {
            cl.Arguments.push_back(a);
        }
    }
    if (!cl.RenderWav.empty() && cl.Arguments.empty())
        return fail(Tr("--render-wav needs a chart to render"));
    if (!cl.ChartImage.empty() && cl.Arguments.empty())
        return fail(Tr("--chart-image needs a chart to draw"));
    return CheckVideoRender(cl);
}

void ApplySettings(CommandLine& cl, const Settings& saved) {
    if (cl.Given.Songs.empty()) cl.Songs = saved.Songs;
    if (!cl.Given.Standard && saved.Standard) cl.Standard = *saved.Standard;
    if (!cl.Given.Scale && saved.Scale) cl.Scale = *saved.Scale;
    if (!cl.Given.Windowed && saved.Windowed) cl.Windowed = *saved.Windowed;
    if (!cl.Given.AudioBufferFrames && saved.AudioBufferFrames)
        cl.AudioBufferFrames = *saved.AudioBufferFrames;
    if (!cl.Given.Volume && saved.Volume) cl.Volume = *saved.Volume;
    cl.Tables = saved.Tables;
    if (!cl.Given.ScrollSpeed && saved.ScrollSpeed) cl.ScrollFactor = *saved.ScrollSpeed;
    if (!cl.Given.RatePercent && saved.RatePercent) cl.RatePercent = *saved.RatePercent;
    if (saved.Sort) cl.Sort = *saved.Sort;
}

int LoopPassesOf(const CommandLine& cl) {
    if (cl.LoopCount) return cl.LoopCount;
    return cl.RenderWav.empty() && cl.RenderVideo.empty() ? 0 : 1;
}

} // namespace tappo
