// The song-select screen: walking the chart list by song folder (Left/Right,
// with sliding banners) and by chart within a folder (Up/Down), starting play
// with Start, and drawing the screen with the chart's header, its banner and
// level stars. Also the banner images: each song folder's "disk.bmp", or where
// it has none, one built from its first bitmap and kept in the user's cache.
#pragma once

#include "chart/FileLookup.h"
#include "chart/GameState.h"
#include "chart/Reading.h"
#include "effects/Warp.h"
#include "files/FileSearch.h"
#include "media/ChartSession.h"
#include "platform/Display.h"
#include "platform/Input.h"
#include "platform/SpriteSheet.h"
#include "screen/ScreenServices.h"
#include "select/FindingTable.h"
#include "select/SongList.h"
#include "select/SongOrder.h"
#include "select/SongPreview.h"
#include "select/TableFolders.h"
#include "select/TitleInitials.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace tappo {

// Item numbers of the sprite archive the select screen draws.
enum SelectItems : int {
    ItemSelectStar = 2,
    ItemStartPlate = 4,
    ItemNextFolder = 5,
    ItemPrevFolder = 6,
    ItemHeader = 7
};

inline constexpr int SlideFrames = 16;
// A held arrow key walks as single presses do for this long, then faster
// and faster (RepeatStepsDue).
inline constexpr uint32_t RepeatDelayMs = 400;
// The steps a held arrow key has made `heldMs` after its press, once past
// RepeatDelayMs: 15 charts a second for 0.8 s, then 60 for 0.8 s, then 500,
// so 1,000 charts pass in about four seconds.
long RepeatStepsDue(uint32_t heldMs);
// The first letter or digit of a chart title (its own bytes), lowered; 0 when
// the title starts with something else. Leading blanks are passed over.
char TitleInitial(const std::string& title);
// A count with thousands separated: "12,345".
std::string CountText(int64_t count);
// The level range shown in the band: "all", "5+", "3-12".
std::string LevelRangeText(const ListChoice& choice);

// The path shown on the select screen: the chart's path below the folder
// searched (with or without its trailing "/"), beginning with the separator,
// cut to 255 bytes on a character boundary, as UTF-8.
std::string SelectPathText(const std::string& chartPath, const std::string& songsFolder);
// PATH, or when it does not FIT its end (which names the chart's file) behind
// "...", whole UTF-8 characters dropped from the front.
std::string PathEndThatFits(const std::string& path,
                            const std::function<bool(const std::string&)>& fits);
// The standard reading's line that tells a song's charts apart: key layout,
// difficulty, level and note count, those the chart gives, e.g.
// "7K  ANOTHER  LEVEL 12  1234 NOTES".
std::string DetailsText(const ChartHeader& header, int32_t level);
// A row of level stars: `Count` of sprite `Item` at X0, X0 + Step, ... on row Y.
struct StarRow {
    int Item = 0;
    int32_t Count = 0;
    long long X0 = 0, Step = 0;
    int Y = 0;
};
// The row's stars; only those that fall on the screen are drawn.
void DrawLevelStars(SpriteSheet& images, Surface& back, const StarRow& row);
// Where the banner built for `songFolder` is kept: a file named by a hash of
// the folder's absolute path in $XDG_CACHE_HOME/tappoplayer/banners/ (by
// default ~/.cache/tappoplayer/banners/), never in the song folder itself.
// Empty when there is no home to put it in.
std::string BannerCachePath(const std::string& songFolder);
// A banner pixel (0x00BBGGRR) through the mask: kept at 255, else the grey of the mask.
uint32_t MaskBannerPixel(uint32_t colour, uint8_t mask);

// A chart whose header scan stopped at an error, as the screen shows it: the
// values the scan reached from nothing (a NaN tempo when it reached none), and
// the error in place of the genre.
struct UnreadableChart {
    std::string Title, Artist; // the chart's own bytes
    int32_t PlayLevel = 0;
    double Bpm = 0;
    std::string Error; // UTF-8
};

// What the select screen works with; the player owns all of it. It walks
// `Songs`, reads the current chart's header from `Session` and writes its song
// folder. `ScanChartHeader` reads a chart's header into the session;
// `StartPlay` starts the chart for Start. `Clock` times key repeat and the
// preview (without it time stands still); `Preview` plays the preview of the
// chart the cursor rests on (none without it).
struct SelectScene {
    const ScreenServices& Services;
    Controller& Input;
    SongList& Songs;
    const PlayToggles& Toggles;
    ChartSession& Session;
    const std::string& ProgramFolder;
    const std::vector<std::string>& SongsFolders; // searched for charts, in this order
    std::function<void(const std::string&)> ScanChartHeader;
    std::function<void(const std::string&)> StartPlay;
    TickSource* Clock = nullptr;
    SongPreview* Preview = nullptr;
};

class SelectScreen {
  public:
    explicit SelectScreen(SelectScene scene)
        : video_(scene.Services.Video), images_(scene.Services.Images), warp_(scene.Services.Warp),
          input_(scene.Input), songs_(scene.Songs), toggles_(scene.Toggles),
          header_(scene.Session.Header), gameState_(scene.Session.GameState),
          programFolder_(scene.ProgramFolder), songsFolders_(scene.SongsFolders),
          songFolder_(scene.Session.SongFolder), scanChartHeader_(std::move(scene.ScanChartHeader)),
          startPlay_(std::move(scene.StartPlay)), clock_(scene.Clock), preview_(scene.Preview) {}

    // The reading's look and sources: the titles of the letter keys (read on
    // a helper thread, see TitleInitials), the picture a chart names as its
    // banner (the standard reading's "#BANNER"), built into the banner instead
    // of the folder's disk.bmp or first bitmap and not stored, and whether
    // the screen shows the details: the subtitle under the title, a line with
    // the key layout, difficulty, level and note count, the end of a path too
    // long for the screen, at most MaxStarsShown stars, and a title too wide
    // even at the smallest size moved to and fro. Without them the screen is
    // drawn as it always was.
    void UseReading(const ChartReading& reading);
    static constexpr int MaxStarsShown = 12;

    // The banners of the current and the previous chart: made once the
    // display is open, freed before the player goes.
    void MakeBanners(Display& display);
    void ReleaseBanners();
    // The chart shown could not be scanned: the screen shows what the scan
    // reached instead of the session's header, which still holds earlier
    // charts' values. None: the header is shown.
    void ShowUnreadable(std::optional<UnreadableChart> chart) { unreadable_ = std::move(chart); }

    void SelectFrame();
    // Home and End: the first and last chart; a letter or digit the player
    // has no other use for: the next chart whose title starts with it
    // (wrapping round), once the titles up to it are read; until then the
    // frames run on and the jump waits. Other keys do nothing here.
    void JumpKey(Key key);
    // The keys that find a song (they change nothing until one is pressed):
    // Tab cycles the sort (Shift+Tab back), F9 the key layout shown, "[" and
    // "]" step the lowest level shown, "{" and "}" the highest, Slash or F8
    // opens the search line; while it is open Backspace edits it, Enter closes it
    // keeping the search and Escape clears and closes it. False for other keys.
    bool FindKey(Key key);
    // Text typed while the search line is open narrows the list as it comes.
    void TypeText(const std::string& text);
    bool SearchLineOpen() const { return searchOpen_; }
    // The song database to sort, filter and search by; read at the next use.
    void UseLibrary(LibraryView library) {
        library_ = std::move(library);
        charts_.reset();
        tables_.Use(library_.ReadTables);
        graphRead_ = false;
        newsTaken_ = scanning_ = scanChanged_ = false;
    }
    // The difficulty tables' folders, listed after the song folders' charts.
    TableFolders& Tables() { return tables_; }
    const ListChoice& Choice() const { return choice_; }
    // The sort to start with (the one kept in the settings).
    void UseSort(SongSort sort);
    // The chart has started to play: its play is counted in the database.
    void ChartPlayed(const std::string& chartPath);

    // The chart list has been searched anew. The titles read for the letter
    // keys are kept when the list is the same; otherwise they are read anew,
    // from the first letter key on.
    void ListSearched();
    // The banner of the chart's song folder (for a table's entry, of its
    // chart's); an error leaves the blank disk shown and is thrown on.
    void LoadBanner(const std::string& listed);

    // What the screen shows, read only.
    bool TitlesRead() const { return titlesFor_ && titles_.Done(); }
    int32_t SlideCountdown() const { return slideCountdown_; }
    // The banner's file: the folder's disk.bmp, the one built and kept in the
    // cache, the chart's own, or the blank disk.
    const std::string& BannerPath() const { return bannerPath_; }
    // The folder's first picture, which a banner is built from; empty when none.
    const std::string& ChartImagePath() const { return chartImagePath_; }
    // The scan's progress shown: charts looked at, of about how many.
    std::pair<int64_t, int64_t> ScanProgress() const { return {scanDone_, scanTotal_}; }

  private:
    void DrawSelectScreen(const std::string& pathText);
    // LoadBanner's work; an error leaves the banner as it was.
    void BuildAndShowBanner(const std::string& chartPath);
    void StoreBanner(const Image& banner); // in the banner cache, at bannerPath_
    // Keeps the first picture file of the song folder; false (the search
    // stops) once it has one.
    bool KeepFirstPicture(const std::string& path, const FoundFile& file);

    Display& video_;
    SpriteSheet& images_;
    const std::unique_ptr<WarpEffect>& warp_;
    Controller& input_;
    SongList& songs_;
    const PlayToggles& toggles_;
    const ChartHeader& header_;
    const PlaySettings& gameState_;
    const std::string& programFolder_;
    const std::vector<std::string>& songsFolders_; // searched for charts, in this order
    std::string& songFolder_;
    std::function<void(const std::string&)> scanChartHeader_;
    std::function<void(const std::string&)> startPlay_;
    TickSource* clock_;
    SongPreview* preview_;
    TitleInitials::ReadTitle chartTitle_;
    std::function<std::string(const std::string& chartPath)> bannerSource_;
    bool showDetails_ = false;

    std::unique_ptr<Surface> bannerSurface_, prevBannerSurface_;
    int32_t slideCountdown_ = 0;
    std::string chartImagePath_;
    std::string bannerPath_;
    FileSearch pictureSearch_; // the song folder's first picture
    std::optional<UnreadableChart> unreadable_;
    TableFolders tables_;
    void ShowBlankDisk();

    // Left/Right walk to another song folder, Up/Down within the current one,
    // `steps` times. Without `slide` the new chart shows at once, and the
    // keys are read again on the next frame.
    void Walk(bool forward, bool toOtherFolder, long steps = 1, bool slide = true);
    // The chart at ChartIndex shown after a move from `previous`; the banner
    // is shown anew (sliding in with `slide`) after a `folderMove` or when the
    // move reached another folder.
    void ShowMovedTo(int32_t previous, bool forward, bool slide, bool folderMove);
    // The held arrow keys: a walk now, or none, or several at once.
    void MoveHeld(Actions keys);
    // The arrow action held now (an Action, -1 for none), and since when.
    int HeldAction(Actions keys);
    uint32_t Now() const { return clock_ ? clock_->NowMs() : 0; }
    // The jump of the letter key waiting, once its titles are read.
    void JumpToInitial();

    // Song finding (SongFinding.cpp).
    LibraryView library_;
    std::optional<ChartFactsByPath> charts_; // read at the first finding key, by PathKey
    std::vector<std::string> found_;         // the list in the chart search's order
    ChartFactsByPath foundFacts_;            // charts_ by the paths of found_
    std::optional<uint64_t> arrangedAs_;     // the generation of the list arranged last
    bool foundFactsRead_ = false;            // foundFacts_ holds found_'s charts of charts_
    FindingTable table_;                     // of found_ and foundFacts_
    bool tableStale_ = true;
    std::vector<uint32_t> shownOrder_; // the list shown, as indexes into found_
    std::optional<uint64_t> shownFor_; // the generation shownOrder_ is of
    ListChoice choice_;
    bool searchOpen_ = false, skipSlash_ = false, noMatch_ = false;
    int bandFrames_ = 0; // frames the sort and filter band stays up
    // The list for choice_, the cursor kept on its chart where it is still listed.
    void Arrange();
    // found_ and foundFacts_ for the list shown, the database read at the first use.
    void ReadFacts();
    void TakeFoundList(); // found_ from the list shown when the chart search made it anew

    // Following a scan on a helper thread (ScanFollowing.cpp).
    std::unordered_map<std::string, std::string> listed_; // found_'s paths by PathKey
    std::optional<uint64_t> listedFor_;                   // the arrangedAs_ listed_ is of
    bool newsTaken_ = false, scanning_ = false;
    uint32_t newsAt_ = 0;
    int64_t scanDone_ = 0, scanTotal_ = 0;
    void FollowScan();
    void ApplyNews(LibraryNews& news);
    bool scanChanged_ = false; // the scan has written or dropped charts
    void FollowTables();       // the tables' entries, once the scan is over
    void DrawScanProgress(SurfaceCanvas& canvas, int& y);
    int32_t HighestLevelListed();
    void DrawFindBand(SurfaceCanvas& canvas, int h);
    // The density graph of the chart under the cursor, read from the
    // database once per chart; nothing where the database has no row.
    std::string graphFor_;
    std::optional<ChartGraph> graph_;
    std::string graphText_;
    bool graphRead_ = false;
    void DrawGraph(SurfaceCanvas& canvas, int h);

    struct KeyRepeat {
        int action = -1; // the action held at the last read, -1 for none
        uint32_t since = 0;
        long steps = 0; // steps made since RepeatDelayMs
    };
    KeyRepeat repeat_;
    // The letter keys' titles: read (or being read) for the chart list of
    // generation titlesFor_, which is unset until a letter key is first pressed.
    TitleInitials titles_;
    std::optional<uint64_t> titlesFor_;
    char pendingInitial_ = 0; // the letter key whose jump waits for titles; 0 for none

    // The details line, made once per chart: what it was made from.
    struct DetailsKey {
        bool valid = false, shown = false;
        std::string keyLayout, difficulty;
        int32_t level = 0, noteCount = 0;
    };
    DetailsKey detailsKey_;
    std::string details_;
    const std::string& Details(bool shown);

    // The select screen's texts as drawn: converted, measured and placed
    // again only when what they show changes, not every frame.
    struct TextLayout {
        bool valid = false;
        std::string rawTitle, rawArtist, rawGenre; // as the header holds them
        bool unreadable = false;                   // rawGenre is the scan's error
        double bpmValue = 0;
        int width = 0, height = 0;
        const TextRenderer* fonts = nullptr;
        std::string title, artist, genre, bpm;
        int titleSize = 0, titleX = 0, artistX = 0, genreX = 0;
        // With ShowDetails:
        std::string rawSubtitle, subtitle, details;
        int subtitleX = 0, detailsX = 0, artistY = 0, titleWidth = 0;
    };
    TextLayout layout_;
    std::string pathChart_, pathFolder_, pathText_;
    std::string pathShownFor_, pathShown_; // the path's end that fits the screen
    long titleFrame_ = 0; // frames the current title has been shown, for its movement

    const std::string& PathText(const std::string& chartPath);
    const std::string& PathShown(SurfaceCanvas& canvas, const std::string& pathText, int width);
    int TitleX(const TextLayout& text, int width);
    const TextLayout& Layout(SurfaceCanvas& canvas, int w, int h);
};

} // namespace tappo
