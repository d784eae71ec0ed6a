#include "select/SelectScreen.h"

#include "media/Media.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "chart/FileLookup.h"
#include "chart/ShiftJis.h"
#include "files/Files.h"
#include "files/StateFolder.h"
#include "formats/Picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>

namespace tappo {

uint32_t MaskBannerPixel(uint32_t colour, uint8_t mask) {
    return mask == 255 ? colour : mask * 0x010101u;
}

std::string BannerCachePath(const std::string& songFolder) {
    const std::string cache = UserFolder("XDG_CACHE_HOME", ".cache");
    if (cache.empty()) return "";
    std::error_code ec;
    std::string folder = std::filesystem::absolute(songFolder, ec).lexically_normal().string();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    // FNV-1a, 64 bits: the same name for the same folder on every run.
    uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : folder)
        hash = (hash ^ uint8_t(c)) * 0x100000001b3u;
    char name[24];
    std::snprintf(name, sizeof name, "%016llx.bmp", static_cast<unsigned long long>(hash));
    return cache + "banners/" + name;
}

namespace {

// The banner kept in the cache for a folder, as a stored disk.bmp was: it
// stays what it was built as, even when the folder's picture changes. Empty
// when there is none or it does not read as a banner (it is then built again).
Image CachedBanner(const std::string& cachePath) {
    std::error_code ec;
    if (cachePath.empty() || !std::filesystem::is_regular_file(cachePath, ec)) return {};
    try {
        Image banner = LoadPictureFile(cachePath);
        if (banner.Width == 80 && banner.Height == 52) return banner;
    } catch (const std::exception&) {
        // A damaged cache file is built again.
    }
    return {};
}

// File names on disk are usually UTF-8; names unpacked from Windows archives
// may still be Shift-JIS.
std::string DisplayPath(const std::string& path) {
    return IsValidUtf8(path) ? path : Cp932ToUtf8(path);
}

// A folder as a prefix of the absolute chart paths the search reports.
std::string AbsoluteFolder(const std::string& folder) {
    std::error_code ec;
    std::string absolute =
        std::filesystem::absolute(folder.empty() ? "." : folder, ec).lexically_normal().string();
    if (ec) absolute = folder;
    if (absolute.empty() || absolute.back() != '/') absolute += '/';
    return absolute;
}

} // namespace

std::string SelectPathText(const std::string& chartPath, const std::string& songsFolder) {
    // Relative to the folder searched, starting with its separator.
    const std::string base = AbsoluteFolder(songsFolder);
    std::string text = chartPath;
    if (chartPath.compare(0, base.size(), base) == 0)
        text = chartPath.substr(base.size() - 1);
    else if (chartPath.compare(0, songsFolder.size(), songsFolder) == 0 && !songsFolder.empty())
        text = chartPath.substr(songsFolder.back() == '/' ? songsFolder.size() - 1
                                                          : songsFolder.size());
    return DisplayPath(std::string(CutAtCharacter(text, 255)));
}

std::string PathEndThatFits(const std::string& path,
                            const std::function<bool(const std::string&)>& fits) {
    std::string shown = path;
    // Whole characters dropped from the front, behind "...".
    for (size_t from = 0; from < path.size() && !fits(shown);) {
        do
            ++from;
        while (from < path.size() && (uint8_t(path[from]) & 0xC0) == 0x80);
        shown = "..." + path.substr(from);
    }
    return shown;
}

std::string DetailsText(const ChartHeader& header, int32_t level) {
    std::string text;
    const auto add = [&](const std::string& part) {
        if (part.empty()) return;
        if (!text.empty()) text += "  ";
        text += part;
    };
    add(header.KeyLayout);
    add(header.Difficulty);
    if (level > 0) add(FormatText(Tr("LEVEL %s"), std::to_string(level)));
    if (header.NoteCount >= 0) add(FormatText(Tr("%s NOTES"), std::to_string(header.NoteCount)));
    return text;
}

void DrawLevelStars(SpriteSheet& images, Surface& back, const StarRow& row) {
    // Only the stars that can reach the screen: a star starts within one
    // screen width to the left of it. The count bounds nothing else.
    const long long w = back.Width();
    const long long first = row.X0 < -w ? (-w - row.X0) / row.Step : 0;
    for (long long i = first; i < row.Count; ++i) {
        const long long x = row.X0 + row.Step * i;
        if (x >= w) break;
        images.Draw(row.Item, back, int(x), row.Y, 0);
    }
}

void SelectScreen::UseReading(const ChartReading& reading) {
    // Titles read the other way no longer hold.
    titles_.Stop();
    titlesFor_.reset();
    pendingInitial_ = 0;
    chartTitle_ = reading.TitleReader();
    bannerSource_ = [reading](const std::string& chartPath) { return reading.BannerOf(chartPath); };
    showDetails_ = reading.ShowsDetails();
}

void SelectScreen::MakeBanners(Display& display) {
    for (auto* banner : {&bannerSurface_, &prevBannerSurface_}) {
        *banner = std::make_unique<Surface>(&display);
        (*banner)->SetColorKey(0);
        (*banner)->SetSize(80, 52);
    }
}

void SelectScreen::ReleaseBanners() {
    bannerSurface_.reset();
    prevBannerSurface_.reset();
}

void SelectScreen::SelectFrame() {
    if (songs_.ChartList.empty()) return;
    if (pendingInitial_) JumpToInitial();
    if (toggles_.ShowBga || toggles_.WarpInPlay)
        warp_->UpdateWarp();
    else
        video_.Back().Fill(0);

    // The chart's path below the song folders' base, taken before any move.
    const std::string& current = songs_.ChartList[size_t(songs_.ChartIndex)];
    const std::string& pathText = PathText(current);

    if (slideCountdown_ != 0) {
        --slideCountdown_;
        // The keys are read during the slide as well, so that a key let go
        // and pressed again is a new press and not a held key; they move nothing.
        input_.UpdateKeyboard();
        HeldAction(input_.Keyboard.States);
    } else {
        songs_.SlideDirection = 0;
        input_.UpdateKeyboard();
        // While the search line is open the letter keys type, and move nothing.
        const Actions keys = searchOpen_ ? Actions(0) : input_.Keyboard.States;
        // A table's entry the library lacks cannot be started.
        if (HasAction(keys, Action::Start) && !tables_.Lacks(current)) {
            pendingInitial_ = 0; // a jump still waiting would move the cursor after play
            if (preview_) preview_->Stop();
            // The load and live sound have both cores; the scan waits.
            if (library_.PauseScan) library_.PauseScan(true);
            startPlay_(tables_.ChartOf(current));
            return;
        }
        MoveHeld(keys);
    }
    FollowScan();
    if (preview_) {
        const std::string shown = tables_.ChartOf(songs_.ChartList[size_t(songs_.ChartIndex)]);
        shown.empty() ? preview_->Stop() : preview_->Update(shown, Now());
    }
    if (!video_.CanDraw()) return;
    DrawSelectScreen(pathText);
}

void SelectScreen::DrawSelectScreen(const std::string& pathText) {
    Surface& back = video_.Back();
    const int w = video_.Mode.Width, h = video_.Mode.Height;
    SurfaceCanvas& canvas = back.Canvas();
    if (toggles_.ShowBga || toggles_.WarpInPlay) canvas.Draw(0, 0, warp_->WarpImage);

    const TextLayout& text = Layout(canvas, w, h);
    DrawGraph(canvas, h);
    canvas.Font.Color = tables_.Lacks(songs_.Selected()) ? 0x707070 : 0x8EC7FF;
    canvas.Font.Size = text.titleSize;
    canvas.TextBackground = std::nullopt;
    canvas.WriteText(showDetails_ ? TitleX(text, w) : text.titleX, h * 7 / 24, text.title);
    canvas.WriteText(text.artistX, showDetails_ ? text.artistY : h * 9 / 24, text.artist);

    canvas.Font.Size = h / 40 + 4;
    if (showDetails_)
        canvas.WriteText(text.subtitleX, h * 7 / 24 + text.titleSize + 2, text.subtitle);
    canvas.Font.Color = 0xFFFFFF;
    canvas.WriteText(10, 36, showDetails_ ? PathShown(canvas, pathText, w - 20) : pathText);
    canvas.WriteText(10, h - 35, text.bpm);
    canvas.WriteText(text.genreX, h - 43, text.genre);
    if (showDetails_) canvas.WriteText(text.detailsX, h * 3 / 4 + 3, text.details);

    images_.Draw(ItemStartPlate, back, 85, 213, 0);
    const int slide = songs_.SlideDirection * slideCountdown_ * 13;
    back.Draw(slide + 121, 120, Bounds(0, 0, 80, 52), bannerSurface_.get(), true);
    back.Draw(slide + 121 + (songs_.SlideDirection > 0 ? -208 : 208), 120, Bounds(0, 0, 80, 52),
              prevBannerSurface_.get(), true);
    images_.Draw(ItemNextFolder, back, 201, 140, 0);
    images_.Draw(ItemPrevFolder, back, 94, 140, 0);
    images_.Draw(ItemHeader, back, 0, 10, 0);
    int32_t level = unreadable_ ? unreadable_->PlayLevel : gameState_.PlayLevel;
    if (showDetails_) level = std::min(level, MaxStarsShown); // the number is in the details
    DrawLevelStars(images_, back, StarRow{ItemSelectStar, level, 162 - 7LL * level, 14, 172});
    DrawFindBand(canvas, h);
}

int SelectScreen::TitleX(const TextLayout& text, int width) {
    const long frame = titleFrame_++;
    const int range = text.titleWidth - width;
    if (range <= 0) return text.titleX;
    // Too wide even at the smallest size: it rests at its start, moves a
    // pixel a frame to its end, rests, and moves back.
    constexpr long Rest = 60;
    const long t = frame % (2 * (range + Rest));
    if (t < Rest) return 0;
    if (t < Rest + range) return -int(t - Rest);
    if (t < 2 * Rest + range) return -range;
    return -int(range - (t - 2 * Rest - range));
}

const std::string& SelectScreen::PathShown(SurfaceCanvas& canvas, const std::string& pathText,
                                           int width) {
    if (pathShownFor_ != pathText || pathShown_.empty()) {
        pathShownFor_ = pathText;
        pathShown_ = PathEndThatFits(
            pathText, [&](const std::string& text) { return canvas.TextWidth(text) <= width; });
    }
    return pathShown_;
}

const std::string& SelectScreen::PathText(const std::string& chartPath) {
    if (const std::string* label = tables_.LabelOf(chartPath)) return *label;
    // The path below the songs folder the chart was found in.
    std::string folder = programFolder_;
    for (const std::string& songs : songsFolders_)
        if (!songs.empty() && chartPath.starts_with(songs)) {
            folder = songs;
            break;
        }
    if (pathText_.empty() || chartPath != pathChart_ || folder != pathFolder_) {
        pathText_ = SelectPathText(chartPath, folder);
        pathChart_ = chartPath;
        pathFolder_ = folder;
    }
    return pathText_;
}

const std::string& SelectScreen::Details(bool shown) {
    // Made again only when what it says changes, not every frame.
    DetailsKey& k = detailsKey_;
    if (!k.valid || k.shown != shown || k.keyLayout != header_.KeyLayout ||
        k.difficulty != header_.Difficulty || k.level != gameState_.PlayLevel ||
        k.noteCount != header_.NoteCount) {
        details_ = shown ? DetailsText(header_, gameState_.PlayLevel) : std::string();
        k = DetailsKey{true,
                       shown,
                       header_.KeyLayout,
                       header_.Difficulty,
                       gameState_.PlayLevel,
                       header_.NoteCount};
    }
    return details_;
}

const SelectScreen::TextLayout& SelectScreen::Layout(SurfaceCanvas& canvas, int w, int h) {
    TextLayout& l = layout_;
    const TextRenderer* fonts = video_.Fonts();
    const bool unreadable = unreadable_.has_value();
    const std::string& rawTitle = unreadable ? unreadable_->Title : header_.Title;
    const std::string& rawArtist = unreadable ? unreadable_->Artist : header_.Artist;
    const std::string& rawGenre = unreadable ? unreadable_->Error : gameState_.Genre;
    const double bpmValue = unreadable ? unreadable_->Bpm : gameState_.Bpm;
    const std::string& rawSubtitle = showDetails_ && !unreadable ? header_.Subtitle : std::string();
    const std::string& details = Details(showDetails_ && !unreadable);
    if (l.valid && l.unreadable == unreadable && l.rawTitle == rawTitle &&
        l.rawArtist == rawArtist && l.rawGenre == rawGenre && l.rawSubtitle == rawSubtitle &&
        l.details == details &&
        (l.bpmValue == bpmValue || (std::isnan(l.bpmValue) && std::isnan(bpmValue))) &&
        l.width == w && l.height == h && l.fonts == fonts)
        return l;
    l.valid = false;
    titleFrame_ = 0;
    // Title and artist, made smaller until both fit the screen's width.
    l.title = ChartTextToUtf8(rawTitle), l.artist = ChartTextToUtf8(rawArtist);
    for (int size : {h / 20 + 4, h / 30 + 4, h / 40 + 4}) {
        canvas.Font.Size = l.titleSize = size;
        if (canvas.TextWidth(l.title) <= w && canvas.TextWidth(l.artist) <= w) break;
    }
    l.titleWidth = canvas.TextWidth(l.title);
    l.titleX = (w - l.titleWidth) / 2;
    l.artistX = (w - canvas.TextWidth(l.artist)) / 2;
    // The subtitle in the small size under the title, the artist below it.
    l.rawSubtitle = rawSubtitle;
    l.subtitle = ChartTextToUtf8(rawSubtitle);
    l.artistY = h * 9 / 24;
    l.details = details;
    canvas.Font.Size = h / 40 + 4;
    if (!l.subtitle.empty()) {
        l.subtitleX = std::max(0, (w - canvas.TextWidth(l.subtitle)) / 2);
        l.artistY = std::max(l.artistY, h * 7 / 24 + l.titleSize + 2 + canvas.Font.Size + 2);
    }
    l.detailsX = std::max(0, (w - canvas.TextWidth(l.details)) / 2);
    char bpm[48];
    std::snprintf(bpm, sizeof bpm, "BPM %.15g", bpmValue);
    l.bpm = std::isnan(bpmValue) ? std::string() : std::string(bpm);
    canvas.Font.Size = h / 40 + 4;
    // An unreadable chart's error stands where its genre would, from the left
    // edge when it is wider than the screen.
    l.genre = unreadable ? rawGenre : ChartTextToUtf8(rawGenre);
    l.genreX = w - canvas.TextWidth(l.genre);
    if (unreadable) l.genreX = std::max(0, l.genreX);
    l.unreadable = unreadable;
    l.rawTitle = rawTitle, l.rawArtist = rawArtist, l.rawGenre = rawGenre;
    l.bpmValue = bpmValue, l.width = w, l.height = h, l.fonts = fonts;
    l.valid = true;
    return l;
}

bool SelectScreen::KeepFirstPicture(const std::string& path, const FoundFile& file) {
    if (file.IsDirectory) return true; // a folder named like a bitmap is no picture
    chartImagePath_ = path;
    return false;
}

namespace {

// The picture of a chart's own banner; a file that does not read as a
// picture is left out (`path` cleared) and the folder's banner is shown.
Image ReadNamedBanner(std::string& path) {
    if (path.empty()) return {};
    try {
        Image picture = ReadBgaPicture(path);
        if (picture.Width > 0 && picture.Height > 0) return picture;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tappoplayer: %s\n", e.what());
    }
    path.clear();
    return {};
}

// `picture` shrunk to the banner's 80 x 52 and cut to the disk shape of the
// mask file.
Image CutToDisk(const Image& picture, const std::string& maskPath) {
    Image banner(80, 52);
    for (int y = 0; y < 52; ++y)
        for (int x = 0; x < 80; ++x)
            banner.At(x, y) = picture.At(x * picture.Width / 80, y * picture.Height / 52);
    const BitmapData mask = LoadBmpFile(maskPath);
    for (int x = 0; x < 80; ++x)
        for (int y = 0; y < 52; ++y) {
            const uint8_t m =
                x < mask.Width && y < mask.Height ? uint8_t(mask.ColourAt(x, y) >> 16) : 255;
            banner.At(x, y) = MaskBannerPixel(banner.At(x, y), m);
        }
    return banner;
}

} // namespace

void SelectScreen::StoreBanner(const Image& banner) {
    if (bannerPath_.empty()) return;
    try {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(bannerPath_).parent_path(), ec);
        WriteFileAtomic(bannerPath_, EncodeBmp(BitmapFromPicture(banner)));
    } catch (const Error& e) {
        // A cache that cannot be written still shows the banner; it is
        // built again on the next visit.
        ReportOnConsole(e.what());
    }
}

void SelectScreen::ShowBlankDisk() {
    if (!bannerSurface_) return;
    try {
        const Image blank = LoadPictureFile(programFolder_ + "diskblank.bmp");
        bannerSurface_->SetSize(blank.Width, blank.Height);
        bannerSurface_->Canvas().Draw(0, 0, blank);
    } catch (const std::exception&) {
        bannerSurface_->Fill(0);
    }
}

void SelectScreen::LoadBanner(const std::string& listed) {
    // A table's entry shows its chart's banner; one the library lacks, none.
    const std::string chartPath = tables_.ChartOf(listed);
    if (chartPath.empty()) return ShowBlankDisk();
    try {
        BuildAndShowBanner(chartPath);
    } catch (...) {
        // The error is reported as before, but the previous chart's banner must
        // not stay up as if it were this one's: the blank disk shows instead.
        ShowBlankDisk();
        throw;
    }
}

void SelectScreen::BuildAndShowBanner(const std::string& chartPath) {
    chartImagePath_.clear();
    songFolder_ = FolderOfChart(chartPath);
    pictureSearch_.Directory = songFolder_;
    pictureSearch_.SearchName = "*.bmp";
    pictureSearch_.Recursive = false;
    pictureSearch_.OnFound = [this](const std::string& path, const FoundFile& file) {
        return KeepFirstPicture(path, file);
    };
    pictureSearch_.Search();
    // A pack whose pictures were re-encoded has no bitmap left: its first PNG
    // or JPEG picture serves instead.
    for (const char* pattern : {"*.png", "*.jpg"}) {
        if (!chartImagePath_.empty()) break;
        pictureSearch_.SearchName = pattern;
        pictureSearch_.Search();
    }

    bannerPath_ = ResolveChartFile(songFolder_ + "disk.bmp");
    std::error_code ec;
    Image banner;
    bool built = false;
    // A chart's own banner comes before the folder's stored one.
    std::string named = bannerSource_ ? bannerSource_(chartPath) : std::string();
    const Image namedPicture = ReadNamedBanner(named);
    const bool folderBanner = std::filesystem::is_regular_file(bannerPath_, ec);
    if (named.empty() && !folderBanner && !chartImagePath_.empty()) {
        // The folder has no banner of its own: the one built on an earlier visit.
        bannerPath_ = BannerCachePath(songFolder_);
        banner = CachedBanner(bannerPath_);
        built = banner.Width > 0;
    }
    if (!built && (!named.empty() || !folderBanner)) {
        if (chartImagePath_.empty() && named.empty()) {
            bannerPath_ = programFolder_ + "diskblank.bmp";
        } else {
            // Built from the folder's first bitmap (or the chart's own banner),
            // cut to the disk shape.
            banner = CutToDisk(named.empty() ? ReadBgaPicture(chartImagePath_) : namedPicture,
                               programFolder_ + "diskmask.bmp");
            built = true;
            // A chart's own banner belongs to that chart and is not stored
            // as the folder's.
            if (named.empty())
                StoreBanner(banner);
            else
                bannerPath_ = named;
        }
    }
    const Image picture = built ? banner : LoadPictureFile(bannerPath_);
    if (!bannerSurface_) return;
    bannerSurface_->SetSize(picture.Width, picture.Height);
    bannerSurface_->Canvas().Draw(0, 0, picture);
}

} // namespace tappo
