#include "chart/standard/KeyLayout.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <array>
#include <string>

namespace tappo::standard {
namespace {

bool Drawn(const Object& o) {
    return o.Kind == ObjectKind::Note || o.Kind == ObjectKind::LongStart ||
           o.Kind == ObjectKind::LongEnd;
}

bool IsPmsFile(std::string_view path) {
    return path.size() >= 4 && AsciiLower(std::string(path.substr(path.size() - 4))) == ".pms";
}

} // namespace

KeyLayout KeyLayoutOf(const Chart& chart, std::string_view path) {
    if (IsPmsFile(path) || chart.Header.NineButtons) return KeyLayout::Buttons9;
    bool secondPlayer = chart.Header.PlayerMode > 1, sevenKeys = false;
    for (const Object& o : chart.Objects) {
        if (!Drawn(o)) continue;
        secondPlayer |= o.Player == 2;
        sevenKeys |= o.Key == 8 || o.Key == 9;
    }
    if (secondPlayer) return sevenKeys ? KeyLayout::Keys14 : KeyLayout::Keys10;
    return sevenKeys ? KeyLayout::Keys7 : KeyLayout::Keys5;
}

int KeyLaneOf(KeyLayout layout, int player, int key) {
    if (player < 1 || player > 2 || key < 1 || key > 9) return -1;
    // Lane of keys 1-9 of one side whose scratch lane is on the left; -1:
    // keys 8 and 9 where a side has five keys.
    static constexpr std::array<int, 10> FiveKeys = {-1, 1, 2, 3, 4, 5, 0, 0, -1, -1};
    static constexpr std::array<int, 10> SevenKeys = {-1, 1, 2, 3, 4, 5, 0, 0, 6, 7};
    static constexpr std::array<int, 10> FirstButtons = {-1, 0, 1, 2, 3, 4, 7, 8, 5, 6};
    static constexpr std::array<int, 10> SecondButtons = {-1, -1, 5, 6, 7, 8, -1, -1, -1, -1};
    const size_t k = size_t(key);
    switch (layout) {
    case KeyLayout::Keys5:
        return player == 1 ? FiveKeys[k] : -1;
    case KeyLayout::Keys7:
        return player == 1 ? SevenKeys[k] : -1;
    case KeyLayout::Keys10:
    case KeyLayout::Keys14: {
        const auto& side = layout == KeyLayout::Keys10 ? FiveKeys : SevenKeys;
        const int lanes = layout == KeyLayout::Keys10 ? 6 : 8;
        if (side[k] < 0) return -1;
        // The second side is the first one mirrored: its scratch on the right.
        if (player == 1) return side[k];
        return side[k] == 0 ? 2 * lanes - 1 : lanes + side[k] - 1;
    }
    case KeyLayout::Buttons9:
        return player == 1 ? FirstButtons[k] : SecondButtons[k];
    }
    return -1;
}

std::shared_ptr<const KeyLanes> BuildKeyLanes(const Chart& chart, KeyLayout layout) {
    auto lanes = std::make_shared<KeyLanes>();
    lanes->Layout = layout;
    lanes->Lanes.resize(size_t(KeyLaneCount(layout)));
    // Each lane takes its own size at once: a chart of millions of notes
    // keeps them once, without the spare room of growing lists.
    std::vector<std::array<size_t, 2>> counts(lanes->Lanes.size());
    for (const Object& o : chart.Objects) {
        const int lane = KeyLaneOf(layout, o.Player, o.Key);
        if (lane >= 0 && (o.Kind == ObjectKind::Note || o.Kind == ObjectKind::LongStart))
            ++counts[size_t(lane)][o.Kind == ObjectKind::LongStart];
    }
    for (size_t i = 0; i < counts.size(); ++i) {
        lanes->Lanes[i].Notes.reserve(counts[i][0]);
        lanes->Lanes[i].LongNotes.reserve(counts[i][1]);
    }
    // The long note (lane, index) each key has open, by player * 10 + key.
    // Keys may share a lane (the scratch and the pedal), so it is held by its
    // index, which stays valid as the lane grows.
    struct Open {
        int Lane = -1;
        size_t Index = 0;
    };
    std::array<Open, 30> open{};
    for (const Object& o : chart.Objects) {
        if (!Drawn(o)) continue;
        const int lane = KeyLaneOf(layout, o.Player, o.Key);
        if (lane < 0) continue;
        const double beat = chart.Timeline.BeatOfTime(double(o.Time));
        KeyLane& to = lanes->Lanes[size_t(lane)];
        // Notes of channels 11-29 between a 51-69 pair's ends leave it open.
        Open& held = open[size_t(o.Player * 10 + o.Key)];
        if (o.Kind == ObjectKind::Note) {
            to.Notes.push_back(beat);
        } else if (o.Kind == ObjectKind::LongStart) {
            to.LongNotes.push_back(KeyLongNote{beat, beat, beat});
            held = Open{lane, to.LongNotes.size() - 1};
        } else {
            if (held.Lane >= 0) {
                KeyLongNote& head = lanes->Lanes[size_t(held.Lane)].LongNotes[held.Index];
                head.EndBeat = std::max(head.Beat, beat);
            }
            held = Open{};
        }
    }
    for (KeyLane& lane : lanes->Lanes) {
        double reach = -1e300;
        for (KeyLongNote& n : lane.LongNotes)
            n.ReachBeat = reach = std::max(reach, n.EndBeat);
    }
    return lanes;
}

} // namespace tappo::standard
