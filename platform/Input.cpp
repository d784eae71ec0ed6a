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

namespace {

// The letters in the order of the alphabet, as keys.
constexpr Key LetterKeys[26] = {Key::A, Key::B, Key::C, Key::D, Key::E, Key::F, Key::G,
                                Key::H, Key::I, Key::J, Key::K, Key::L, Key::M, Key::N,
                                Key::O, Key::P, Key::Q, Key::R, Key::S, Key::T, Key::U,
                                Key::V, Key::W, Key::X, Key::Y, Key::Z};

} // namespace

std::optional<char> CharacterOfKey(Key key) {
    if (key >= Key::Digit0 && key <= Key::Digit9) return char('0' + int(key) - int(Key::Digit0));
    for (int i = 0; i < 26; ++i)
        if (LetterKeys[i] == key) return char('a' + i);
    return std::nullopt;
}

Key KeyOfCharacter(char c) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c >= 'a' && c <= 'z') return LetterKeys[c - 'a'];
    if (c >= '0' && c <= '9') return Key(int(Key::Digit0) + (c - '0'));
    return Key::Other;
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
