#include "platform/Input.h"

#include <cmath>
#include <cstdlib>

namespace tappo {

std::optional<Action> ActionOfKey(Key key) {
    switch (key) {
    case Key::K:
    case Key::Up:
    case Key::Keypad8:
        return Action::Up;
    case Key::J:
    case Key::Down:
    case Key::Keypad2:
        return Action::Down;
    case Key::H:
    case Key::Left:
    case Key::Keypad4:
        return Action::Left;
    case Key::L:
    case Key::Right:
    case Key::Keypad6:
        return Action::Right;
    case Key::Z:
    case Key::Space:
        return Action::Start;
    default:
        return std::nullopt;
    }
}

void KeyboardReader::Update() {
    States = 0;
    if (!Source) return;
    KeysDown down{};
    Source->ReadKeys(down);
    for (size_t k = 0; k < down.size(); ++k)
        if (down[k])
            if (const auto action = ActionOfKey(Key(k))) States |= ActionBit(*action);
}

int ScaleAxis(int value, int min, int max, int deadZone, int range) {
    const long half = (long(max) - min) / 2;
    const long dead = long(deadZone) * half / 100;
    if (dead == half) return 0;
    const long a = long(value) - min - half;
    if (std::labs(a) <= dead) return 0;
    const double scaled = a > 0 ? double(a - dead) * range / double(half - dead)
                                : double(a + dead) * range / double(half - dead);
    return int(std::lround(scaled));
}

void JoystickReader::Update() {
    States = 0;
    X = Y = Z = 0;
    JoystickReading r;
    if (!Source || !Source->ReadJoystick(r)) return;
    X = ScaleAxis(r.X, r.Min, r.Max, DeadZoneX, RangeX);
    Y = ScaleAxis(r.Y, r.Min, r.Max, DeadZoneY, RangeY);
    Z = ScaleAxis(r.Z, r.Min, r.Max, DeadZoneZ, RangeZ);
    if (r.ButtonCount > 0 && (r.Buttons & 1u)) States |= ActionBit(Action::Start);
    if (X < 0) States |= ActionBit(Action::Left);
    if (X > 0) States |= ActionBit(Action::Right);
    if (Y < 0) States |= ActionBit(Action::Up);
    if (Y > 0) States |= ActionBit(Action::Down);
}

void Controller::Update() {
    Joystick.Update();
    Keyboard.Update();
    States = Joystick.States | Keyboard.States;
}

} // namespace tappo
