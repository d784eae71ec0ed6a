// The select screen's song finding: the sort, the key layout filter and the
// search line, and the band that shows them.
#include "select/SelectScreen.h"

#include "base/Translate.h"
#include "select/DensityGraph.h"

#include <algorithm>

namespace tappo {

namespace {

// Frames the band stays up after a change of sort or filter.
constexpr int BandFrames = 120;
// The longest search line kept, in bytes.
constexpr size_t MaxSearchBytes = 200;

template <typename E> E NextOf(E value, int count, int step = 1) {
    return E((int(value) + step + count) % count);
}

// The highest level a bound steps to.
constexpr int32_t MaxLevelBound = 99;

// The lowest level shown, one step down or up; never above the highest.
void StepLevelMin(ListChoice& choice, int step) {
    const int32_t top = choice.LevelMax > 0 ? choice.LevelMax : MaxLevelBound;
    choice.LevelMin = std::clamp(choice.LevelMin + step, 0, top);
}

// The highest level shown, one step down or up: from no bound down it
// starts at the highest level listed; past MaxLevelBound there is no bound.
// Never below the lowest (nor below 1).
void StepLevelMax(ListChoice& choice, int step, int32_t highestListed) {
    int32_t max = choice.LevelMax;
    if (max == 0 && step < 0)
        max = std::clamp(highestListed, 1, MaxLevelBound);
    else if (max != 0)
        max += step;
    choice.LevelMax = max > MaxLevelBound ? 0 : std::max({max, choice.LevelMin, 1});
}

// `text` without its last UTF-8 character.
void DropLastCharacter(std::string& text) {
    while (!text.empty()) {
        const auto c = uint8_t(text.back());
        text.pop_back();
        if ((c & 0xC0) != 0x80) break;
    }
}

} // namespace

std::string LevelRangeText(const ListChoice& choice) {
    if (!choice.LevelFiltered()) return Tr("all");
    const std::string low = std::to_string(std::max(choice.LevelMin, 1));
    return choice.LevelMax > 0 ? low + "-" + std::to_string(choice.LevelMax) : low + "+";
}

int32_t SelectScreen::HighestLevelListed() {
    if (songs_.ChartList.empty()) return 0;
    ReadFacts();
    int32_t highest = 0;
    for (const auto& [path, chart] : foundFacts_)
        highest = std::max(highest, chart.Level);
    return highest;
}

bool SelectScreen::FindKey(Key key) {
    if (searchOpen_) {
        switch (key) {
        case Key::Backspace:
            DropLastCharacter(choice_.Search);
            Arrange();
            return true;
        case Key::Enter:
            searchOpen_ = false;
            bandFrames_ = BandFrames;
            return true;
        case Key::Escape:
            searchOpen_ = false;
            choice_.Search.clear();
            Arrange();
            return true;
        default:
            break;
        }
    }
    switch (key) {
    case Key::Tab:
    case Key::ShiftTab:
        choice_.Sort = NextOf(choice_.Sort, SongSortCount, key == Key::Tab ? 1 : -1);
        break;
    case Key::LeftBracket:
    case Key::RightBracket:
        StepLevelMin(choice_, key == Key::RightBracket ? 1 : -1);
        break;
    case Key::LeftBrace:
    case Key::RightBrace:
        StepLevelMax(choice_, key == Key::RightBrace ? 1 : -1, HighestLevelListed());
        break;
    case Key::F9:
        choice_.Layout = NextOf(choice_.Layout, LayoutFilterCount);
        break;
    case Key::Slash:
    case Key::F8:
        searchOpen_ = true;
        // The desktop types the slash that opened the line as text too.
        skipSlash_ = key == Key::Slash;
        break;
    default:
        // While the search line is open, letters and digits are text, not jumps.
        return searchOpen_;
    }
    Arrange();
    bandFrames_ = BandFrames;
    return true;
}

void SelectScreen::TypeText(const std::string& text) {
    if (!searchOpen_) return;
    const bool skip = skipSlash_ && text == "/";
    skipSlash_ = false;
    if (skip) return;
    // Control characters are no part of a title. The desktop sends whole
    // characters, so a text that would pass the limit is left out whole.
    std::string typed;
    for (const char c : text)
        if (uint8_t(c) >= 0x20 && c != 0x7F) typed += c;
    if (choice_.Search.size() + typed.size() > MaxSearchBytes) return;
    choice_.Search += typed;
    Arrange();
}

void SelectScreen::TakeFoundList() {
    if (arrangedAs_ == songs_.Generation) return;
    // The chart search found the list anew: its order is the found order.
    found_ = songs_.ChartList;
    arrangedAs_ = songs_.Generation;
    foundFactsRead_ = false;
}

void SelectScreen::ReadFacts() {
    TakeFoundList();
    if (!charts_) {
        charts_ = library_.ReadCharts ? library_.ReadCharts() : ChartFactsByPath();
        foundFactsRead_ = false;
    }
    if (!foundFactsRead_) {
        foundFacts_ = FactsOfList(found_, *charts_);
        tableStale_ = true;
    }
    foundFactsRead_ = true;
}

void SelectScreen::Arrange() {
    if (songs_.ChartList.empty()) return;
    ReadFacts();
    if (tableStale_) {
        table_.Build(found_, foundFacts_);
        tableStale_ = false;
        shownFor_.reset();
    }
    std::vector<uint32_t> order = table_.Arrange(choice_);
    // A choice that leaves nothing keeps the list shown, saying so.
    noMatch_ = order.empty();
    if (noMatch_) return;
    // The chart shown, as an index into found_.
    const bool shownHeld =
        shownFor_ == songs_.Generation && size_t(songs_.ChartIndex) < shownOrder_.size();
    size_t current = shownHeld ? shownOrder_[size_t(songs_.ChartIndex)] : found_.size();
    if (!shownHeld)
        current =
            size_t(std::find(found_.begin(), found_.end(), songs_.Selected()) - found_.begin());
    const auto at = std::find(order.begin(), order.end(), uint32_t(current));
    const bool kept = at != order.end();
    const auto index = int32_t(kept ? at - order.begin() : 0);
    // The paths listed by their keys still hold: found_ is as it was.
    const bool listedHeld = listedFor_ == arrangedAs_;
    if (!shownHeld || order != shownOrder_) {
        // Written over the list's own strings: their memory is used again.
        std::vector<std::string>& list = songs_.ChartList;
        bool changed = list.size() != order.size();
        list.resize(order.size());
        for (size_t k = 0; k < order.size(); ++k) {
            const std::string& path = found_[order[k]];
            if (!changed && list[k] == path) continue;
            list[k].assign(path);
            changed = true;
        }
        if (changed) {
            ++songs_.Generation;
            ListSearched();
        }
        shownOrder_ = std::move(order);
    }
    arrangedAs_ = shownFor_ = songs_.Generation;
    if (listedHeld) listedFor_ = arrangedAs_;
    songs_.ChartIndex = index;
    if (kept) return;
    // The chart shown is gone from the list: the first one shows, with its banner.
    if (preview_) preview_->Stop();
    ShowMovedTo(index, true, false, true);
}

void SelectScreen::UseSort(SongSort sort) {
    choice_.Sort = sort;
    Arrange();
    // The screen starts at the top of the sorted list.
    songs_.ChartIndex = 0;
}

void SelectScreen::ChartPlayed(const std::string& chartPath) {
    if (!library_.ChartPlayed) return;
    const int64_t when = library_.ChartPlayed(chartPath);
    if (when == 0 || !charts_) return;
    // The facts read before keep up with the play, for the sort by last play.
    if (const auto it = charts_->find(PathKey(chartPath)); it != charts_->end())
        it->second.LastPlayed = when;
    if (const auto it = foundFacts_.find(chartPath); it != foundFacts_.end()) {
        it->second.LastPlayed = when;
        tableStale_ = true;
    }
}

void SelectScreen::DrawGraph(SurfaceCanvas& canvas, int h) {
    if (!library_.GraphOf) return;
    const std::string& chart = songs_.ChartList[size_t(songs_.ChartIndex)];
    if (!graphRead_ || graphFor_ != chart) {
        // A table's entry shows its library chart's graph; one it lacks, none.
        const std::string path = tables_.ChartOf(chart);
        graph_ = path.empty() ? std::nullopt : library_.GraphOf(path);
        graphFor_ = chart;
        graphRead_ = true;
        graphText_ = graph_ ? GraphText(*graph_) : std::string();
    }
    if (!graph_) return;
    // Drawn before everything else on the screen, which stays over it.
    DrawDensityGraph(video_.Back(), *graph_, GraphArea, 0x8EC7FF);
    canvas.Font.Size = h / 40 + 4;
    canvas.Font.Color = 0xFFFFFF;
    canvas.TextBackground = std::nullopt;
    // Over the tempo the header gives, in the same column.
    canvas.WriteText(10, h - 46, graphText_);
}

void SelectScreen::DrawFindBand(SurfaceCanvas& canvas, int h) {
    const bool searchShown = searchOpen_ || !choice_.Search.empty();
    if (bandFrames_ <= 0 && !searchShown && !noMatch_ && !scanning_) return;
    canvas.Font.Size = h / 40 + 4;
    canvas.Font.Color = 0xFFFFFF;
    int y = 36 + canvas.Font.Size + 4;
    DrawScanProgress(canvas, y);
    if (bandFrames_ > 0) {
        --bandFrames_;
        canvas.WriteText(10, y,
                         FormatText(Tr("Sort: %s   Layout: %s"), Tr(SortName(choice_.Sort)),
                                    Tr(LayoutName(choice_.Layout))) +
                             FormatText(Tr("   Level: %s"), LevelRangeText(choice_)));
        y += canvas.Font.Size + 2;
        // The keys, unless the search line takes their place.
        if (!searchShown && !noMatch_) {
            canvas.WriteText(10, y, Tr("(Tab, F9, [ ] { } levels, / or F8 search)"));
            y += canvas.Font.Size + 2;
        }
    }
    if (searchShown || noMatch_) {
        std::string line = FormatText(Tr("Search: %s"), choice_.Search);
        if (searchOpen_) line += "_";
        if (noMatch_) line += "  " + std::string(Tr("(no chart matches)"));
        canvas.WriteText(10, y, line);
    }
}

} // namespace tappo
