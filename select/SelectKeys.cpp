// The select screen's cursor: walking by folder and by chart, key repeat,
// and the jumps of Home, End and the letter and digit keys.
#include "select/SelectScreen.h"

#include "chart/FileLookup.h"

#include <exception>

namespace tappo {

long RepeatStepsDue(uint32_t heldMs) {
    // Piecewise rates (steps a second) from RepeatDelayMs on; the first step
    // comes at once, so a walk never stalls between the single presses'
    // cadence and the repeat.
    struct Phase {
        uint32_t until;
        long perSecond;
    };
    constexpr Phase Phases[] = {{1200, 15}, {2000, 60}, {UINT32_MAX, 500}};
    if (heldMs < RepeatDelayMs) return 0;
    long long milliSteps = 0; // steps x 1000
    uint32_t from = RepeatDelayMs;
    for (const Phase& p : Phases) {
        const uint32_t to = heldMs < p.until ? heldMs : p.until;
        if (to > from) milliSteps += (long long)(to - from) * p.perSecond;
        if (heldMs <= p.until) break;
        from = p.until;
    }
    return 1 + long(milliSteps / 1000);
}

char TitleInitial(const std::string& title) {
    for (const char c : title) {
        if (c == ' ' || c == '\t') continue;
        if (c >= 'A' && c <= 'Z') return char(c - 'A' + 'a');
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return c;
        return 0;
    }
    return 0;
}

void SelectScreen::Walk(bool forward, bool toOtherFolder, long steps, bool slide) {
    // Step through the list until the folder condition holds or the walk
    // comes back to where it started.
    const int32_t count = int32_t(songs_.ChartList.size());
    const int32_t previous = songs_.ChartIndex;
    pendingInitial_ = 0; // a walk goes before a jump still waiting
    for (long step = 0; step < steps; ++step) {
        const int32_t start = songs_.ChartIndex;
        const std::string startFolder = FolderOfChart(songs_.ChartList[size_t(start)]);
        do {
            songs_.ChartIndex =
                forward ? (songs_.ChartIndex + 1) % count : (count + songs_.ChartIndex - 1) % count;
        } while ((FolderOfChart(songs_.ChartList[size_t(songs_.ChartIndex)]) == startFolder) ==
                     toOtherFolder &&
                 songs_.ChartIndex != start);
    }
    ShowMovedTo(previous, forward, slide, toOtherFolder);
}

void SelectScreen::ShowMovedTo(int32_t previous, bool forward, bool slide, bool folderMove) {
    const std::string& chart = songs_.ChartList[size_t(songs_.ChartIndex)];
    // A folder move shows the banner anew even when it came back to the same folder.
    // (A table's level holds charts of many song folders: each shows its own.)
    const bool otherFolder =
        folderMove || FolderOfChart(tables_.ChartOf(songs_.ChartList[size_t(previous)])) !=
                          FolderOfChart(tables_.ChartOf(chart));
    // A header that cannot be read is reported once the move is done: the
    // screen slides to the chart and its folder's banner all the same.
    std::exception_ptr scanError;
    try {
        scanChartHeader_(chart);
    } catch (...) {
        scanError = std::current_exception();
    }
    slideCountdown_ = slide ? SlideFrames : 0;
    songs_.SlideDirection = slide && otherFolder ? (forward ? 1 : -1) : 0;
    if (otherFolder) {
        // The old banner slides out while the new one comes in.
        if (slide && bannerSurface_ && prevBannerSurface_)
            prevBannerSurface_->CopySurface(0, 0, *bannerSurface_, Bounds(0, 0, 80, 52));
        LoadBanner(chart);
    }
    if (scanError) std::rethrow_exception(scanError);
}

int SelectScreen::HeldAction(Actions keys) {
    // The first held of Left, Right, Up, Down, as single presses always took them.
    constexpr Action Order[] = {Action::Left, Action::Right, Action::Up, Action::Down};
    int held = -1;
    for (const Action a : Order)
        if (HasAction(keys, a)) {
            held = int(a);
            break;
        }
    if (held != repeat_.action) repeat_ = KeyRepeat{held, Now(), 0};
    return held;
}

void SelectScreen::MoveHeld(Actions keys) {
    const int held = HeldAction(keys);
    if (held < 0) return;
    const auto action = Action(held);
    const bool toOtherFolder = action == Action::Left || action == Action::Right;
    const bool forward = action == Action::Right || action == Action::Up;
    const uint32_t heldMs = Now() - repeat_.since;
    if (heldMs < RepeatDelayMs) {
        Walk(forward, toOtherFolder);
        return;
    }
    const long due = RepeatStepsDue(heldMs);
    const long steps = due - repeat_.steps;
    repeat_.steps = due;
    if (steps > 0) Walk(forward, toOtherFolder, steps, false);
}

void SelectScreen::ListSearched() {
    pendingInitial_ = 0;
    if (titlesFor_ == songs_.Generation) return;
    titles_.Stop();
    titlesFor_.reset();
}

void SelectScreen::JumpToInitial() {
    if (songs_.ChartList.empty()) {
        pendingInitial_ = 0;
        return;
    }
    const int32_t previous = songs_.ChartIndex;
    const TitleInitials::Jump jump = titles_.Next(size_t(previous), pendingInitial_);
    if (jump.found == TitleInitials::Found::NotYet) return;
    pendingInitial_ = 0;
    const auto target = int32_t(jump.index);
    if (jump.found == TitleInitials::Found::No || target == previous) return;
    songs_.ChartIndex = target;
    ShowMovedTo(previous, target > previous, true, false);
}

void SelectScreen::JumpKey(Key key) {
    if (songs_.ChartList.empty() || FindKey(key)) return;
    const int32_t count = int32_t(songs_.ChartList.size());
    const int32_t previous = songs_.ChartIndex;
    int32_t target = -1;
    if (key == Key::Home) {
        target = 0;
    } else if (key == Key::End) {
        target = count - 1;
    } else if (const auto c = CharacterOfKey(key); c && !ActionOfKey(key)) {
        // The titles are read once a letter is wanted, from the chart after
        // the cursor, where the jump looks first.
        if (titlesFor_ != songs_.Generation) {
            titlesFor_ = songs_.Generation;
            titles_.Start(songs_.ChartList, size_t(previous) + 1, chartTitle_);
        }
        pendingInitial_ = *c;
        JumpToInitial();
        return;
    }
    if (target < 0) return;
    pendingInitial_ = 0;
    if (target == previous) return;
    songs_.ChartIndex = target;
    ShowMovedTo(previous, target > previous, true, false);
}

} // namespace tappo
