#include "platform/Input.h"

#include <cmath>
#include <cstdlib>

namespace tappo {

KeyboardReader::KeyboardReader() {
    // The player's key table: K J H L, the arrows and the keypad for the four
    // directions; Z or Space for Start; X or Enter for Button2; F2 for Button9.
    Assigns[isUp] = {75, 38, 104};
    Assigns[isDown] = {74, 40, 98};
    Assigns[isLeft] = {72, 37, 100};
    Assigns[isRight] = {76, 39, 102};
    Assigns[isStart] = {90, 32, 0};
    Assigns[isSecondButton] = {88, 13, 0};
    Assigns[12] = {113, 0, 0}; // Button9
}

void KeyboardReader::Update() {
    States = 0;
    if (!Enabled || !Source) return;
    std::array<bool, 256> down{};
    Source->ReadKeys(down);
    for (int k = 0; k < InputStateCount; ++k) {
        for (uint32_t key : Assigns[size_t(k)]) {
            if (key >= 1 && key <= 255 && down[key]) {
                States |= StateBit(k);
                break;
            }
        }
    }
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
    if (!Enabled || !Source || !Source->ReadJoystick(r)) return;
    X = ScaleAxis(r.X, r.Min, r.Max, DeadZoneX, RangeX);
    Y = ScaleAxis(r.Y, r.Min, r.Max, DeadZoneY, RangeY);
    Z = ScaleAxis(r.Z, r.Min, r.Max, DeadZoneZ, RangeZ);
    for (int n = 0; n < r.ButtonCount && n < 32; ++n)
        if (r.Buttons & (1u << n)) States |= StateBit(isStart + n);
    if (X < 0) States |= StateBit(isLeft);
    if (X > 0) States |= StateBit(isRight);
    if (Y < 0) States |= StateBit(isUp);
    if (Y > 0) States |= StateBit(isDown);
}

void Controller::Update() {
    Joystick.Update();
    Keyboard.Update();
    States = Joystick.States | Keyboard.States;
}

} // namespace tappo
