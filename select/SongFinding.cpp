// The select screen's song finding: the sort, the key layout filter and the
// search line, and the band that shows them.
#include "select/SelectScreen.h"

#include "base/Translate.h"

#include <algorithm>

namespace tappo {

namespace {

// Frames the band stays up after a change of sort or filter.
constexpr int BandFrames = 120;
// The longest search line kept, in bytes.
constexpr size_t MaxSearchBytes = 200;

template <typename E> E NextOf(E value, int count) {
    return E((int(value) + 1) % count);
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
        choice_.Sort = NextOf(choice_.Sort, SongSortCount);
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

void SelectScreen::Arrange() {
    if (songs_.ChartList.empty()) return;
    const bool searchedAnew = arrangedAs_ != songs_.Generation;
    if (searchedAnew) found_ = songs_.ChartList;
    if (!charts_) {
        charts_ = library_.ReadCharts ? library_.ReadCharts() : ChartFactsByPath();
        foundFacts_ = FactsOfList(found_, *charts_);
    } else if (searchedAnew) {
        foundFacts_ = FactsOfList(found_, *charts_);
    }
    std::vector<std::string> list = ArrangeCharts(found_, foundFacts_, choice_);
    // A choice that leaves nothing keeps the list shown, saying so.
    noMatch_ = list.empty();
    if (noMatch_) return;
    const std::string current = songs_.Selected();
    const auto at = std::find(list.begin(), list.end(), current);
    const bool kept = at != list.end();
    const auto index = int32_t(kept ? at - list.begin() : 0);
    if (list != songs_.ChartList) {
        songs_.ChartList = std::move(list);
        ++songs_.Generation;
        ListSearched();
    }
    arrangedAs_ = songs_.Generation;
    songs_.ChartIndex = index;
    if (kept) return;
    // The chart shown is gone from the list: the first one shows, with its banner.
    if (preview_) preview_->Stop();
    ShowMovedTo(index, true, false, true);
}

void SelectScreen::DrawFindBand(SurfaceCanvas& canvas, int h) {
    const bool searchShown = searchOpen_ || !choice_.Search.empty();
    if (bandFrames_ <= 0 && !searchShown && !noMatch_) return;
    canvas.Font.Size = h / 40 + 4;
    canvas.Font.Color = 0xFFFFFF;
    int y = 36 + canvas.Font.Size + 4;
    if (bandFrames_ > 0) {
        --bandFrames_;
        canvas.WriteText(10, y,
                         FormatText(Tr("Sort: %s   Layout: %s   (Tab, F9, / or F8)"),
                                    Tr(SortName(choice_.Sort)), Tr(LayoutName(choice_.Layout))));
        y += canvas.Font.Size + 2;
    }
    if (searchShown || noMatch_) {
        std::string line = FormatText(Tr("Search: %s"), choice_.Search);
        if (searchOpen_) line += "_";
        if (noMatch_) line += "  " + std::string(Tr("(no chart matches)"));
        canvas.WriteText(10, y, line);
    }
}

} // namespace tappo
