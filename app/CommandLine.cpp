#include "app/CommandLine.h"

#include <cerrno>
#include <climits>
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

bool HasChartExtension(const std::string& path) {
    if (path.size() < 4) return false;
    std::string last = path.substr(path.size() - 4);
    for (char& c : last)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return last == ".bms";
}

std::string UsageText() {
    return "Usage: tappoplayer [options] [CHART.bms]\n"
           "\n"
           "Plays a BMS chart by itself. Without CHART, every chart below the program\n"
           "folder is listed on the song-select screen.\n"
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
           "  --songs DIR              search DIR for charts instead of the program folder\n"
           "  --audio-buffer FRAMES    sound device buffer, 64-8192 frames (default 512)\n"
           "  --render-wav OUT.wav     play CHART offline, as fast as possible, and write\n"
           "                           the mix (16-bit stereo, 44.1 kHz) to OUT.wav\n"
           "  --inspect CHART          compile CHART and list its header, measure timing\n"
           "                           and event lists; nothing is played\n"
           "\n"
           "Select screen: Left/Right change song folder, Up/Down the chart, Z or Space\n"
           "starts it, Esc quits. Playing: Esc leaves, F4 pauses (Up/Down step while\n"
           "paused), F5 restarts, PgUp/PgDn move the arrows by 1 ms, F1 frame rate,\n"
           "F2 background images, F3 full screen/window, F6 step tick, F7 warp.\n";
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TCommandLine cl;
    auto fail = [&](const std::string& text) {
        cl.Error = text;
        return cl;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--") {
            cl.Arguments.insert(cl.Arguments.end(), args.begin() + long(i) + 1, args.end());
            break;
        } else if (a == "--help" || a == "-h") {
            cl.Help = true;
        } else if (a == "--version") {
            cl.Version = true;
        } else if (a == "--windowed") {
            cl.Windowed = true;
        } else if (a == "--headless") {
            cl.Headless = true;
        } else if (a == "--frames") {
            long n = 0;
            if (!value(v) || !ParseWhole(v, 0, LONG_MAX, n))
                return fail("--frames needs a whole number of frames");
            cl.Frames = n;
        } else if (a == "--frame-ms") {
            long n = 0;
            if (!value(v) || !ParseWhole(v, 1, 1000, n))
                return fail("--frame-ms needs a number of milliseconds from 1 to 1000");
            cl.FrameMs = int(n);
        } else if (a == "--songs") {
            if (!value(cl.Songs) || cl.Songs.empty()) return fail("--songs needs a folder");
        } else if (a == "--audio-buffer") {
            long n = 0;
            if (!value(v) || !ParseWhole(v, 64, 8192, n))
                return fail("--audio-buffer needs a number of frames from 64 to 8192");
            cl.AudioBufferFrames = int(n);
        } else if (a == "--render-wav") {
            if (!value(cl.RenderWav) || cl.RenderWav.empty()) return fail("--render-wav needs an output file");
        } else if (a == "--inspect") {
            if (!value(cl.Inspect) || cl.Inspect.empty()) return fail("--inspect needs a chart file");
        } else if (a == "--scale") {
            long n = 0;
            if (!value(v) || !ParseWhole(v, 1, 16, n))
                return fail("--scale needs a whole number from 1 to 16");
            cl.Scale = int(n);
        } else if (a == "--screenshot") {
            long frame = 0;
            size_t colon = std::string::npos;
            if (value(v)) colon = v.find(':');
            if (colon == std::string::npos || colon + 1 >= v.size() ||
                !ParseWhole(v.substr(0, colon), 1, LONG_MAX, frame))
                return fail("--screenshot needs FRAME:FILE.png, with FRAME 1 or more");
            cl.Screenshots.emplace_back(frame, v.substr(colon + 1));
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a);
        } else {
            cl.Arguments.push_back(a);
        }
    }
    if (!cl.RenderWav.empty() && cl.Arguments.empty()) return fail("--render-wav needs a chart to render");
    return cl;
}

} // namespace tappo
