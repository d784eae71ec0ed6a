#include "chart/KeyLanes.h"

namespace tappo {

std::string_view KeyLayoutName(KeyLayout layout) {
    switch (layout) {
    case KeyLayout::Keys5:
        return "5K";
    case KeyLayout::Keys7:
        return "7K";
    case KeyLayout::Keys10:
        return "10K";
    case KeyLayout::Keys14:
        return "14K";
    case KeyLayout::Buttons9:
        return "9B";
    }
    return "7K";
}

int KeyLaneCount(KeyLayout layout) {
    switch (layout) {
    case KeyLayout::Keys5:
        return 6;
    case KeyLayout::Keys7:
        return 8;
    case KeyLayout::Keys10:
        return 12;
    case KeyLayout::Keys14:
        return 16;
    case KeyLayout::Buttons9:
        return 9;
    }
    return 8;
}

} // namespace tappo
