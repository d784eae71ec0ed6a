// Input states: the keyboard and a joystick turned into Up, Down, Left, Right
// and 32 buttons, polled by the game. Keys reach the game as Windows-style
// virtual-key codes, which the key table is written in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>

namespace tappo {

enum PadState : int {
    isUp = 0,
    isDown = 1,
    isLeft = 2,
    isRight = 3,
    isStart = 4,
    isSecondButton = 5
};
inline constexpr int InputStateCount = 36;
using PadStates = uint64_t; // bit k = state k

constexpr PadStates StateBit(int state) {
    return PadStates(1) << state;
}

// Which keys are held now, by virtual-key code.
class KeySource {
  public:
    virtual ~KeySource() = default;
    virtual void ReadKeys(std::array<bool, 256>& down) = 0;
};

// A joystick's axes in the platform's raw range, and its buttons.
struct JoystickReading {
    int X = 0, Y = 0, Z = 0;
    int Min = 0, Max = 65535;
    uint32_t Buttons = 0; // bit n = button n
    int ButtonCount = 0;
};

class JoystickSource {
  public:
    virtual ~JoystickSource() = default;
    // False when there is no joystick.
    virtual bool ReadJoystick(JoystickReading& reading) = 0;
};

// Key presses that arrived as events since the last poll. The game polls the
// keyboard once per frame; a key pressed and released between two polls is
// held by the latch so that the next poll sees it down, once. The latch is
// emptied by the poll, and also when the next batch of events begins, so a
// press never outlives a frame that did not poll.
class KeyLatch {
  public:
    void BeginEvents() { pressed_.fill(false); }
    void Press(int key) {
        if (key > 0 && key < 256) pressed_[size_t(key)] = true;
    }
    // Marks the latched keys down and empties the latch.
    void Apply(std::array<bool, 256>& down) {
        for (size_t k = 0; k < down.size(); ++k)
            down[k] = down[k] || pressed_[k];
        pressed_.fill(false);
    }

  private:
    std::array<bool, 256> pressed_{};
};

// Keys held by a script: headless runs and tests.
class ScriptedKeys : public KeySource {
  public:
    void Press(int key) { down_.insert(key); }
    void Release(int key) { down_.erase(key); }
    void ReleaseAll() { down_.clear(); }
    // Pressed and released before the next poll.
    void Tap(int key) { latch_.Press(key); }
    void ReadKeys(std::array<bool, 256>& down) override {
        for (int k : down_)
            if (k > 0 && k < 256) down[size_t(k)] = true;
        latch_.Apply(down);
    }

  private:
    std::set<int> down_;
    KeyLatch latch_;
};

class KeyboardReader {
  public:
    KeyboardReader();
    bool Enabled = true;
    KeySource* Source = nullptr;
    // For each state, three virtual-key codes (0: none), tried in order.
    std::array<std::array<uint32_t, 3>, InputStateCount> Assigns{};
    PadStates States = 0;
    void Update();
};

class JoystickReader {
  public:
    bool Enabled = true;
    JoystickSource* Source = nullptr;
    int DeadZoneX = 50, DeadZoneY = 50, DeadZoneZ = 50; // percent of the half range
    int RangeX = 1000, RangeY = 1000, RangeZ = 1000;
    PadStates States = 0;
    int X = 0, Y = 0, Z = 0; // scaled axes
    void Update();
};

// A raw axis value to -range..range with the dead zone in the middle.
int ScaleAxis(int value, int min, int max, int deadZone, int range);

class Controller {
  public:
    KeyboardReader Keyboard;
    JoystickReader Joystick;
    PadStates States = 0; // merged, after Update
    void UpdateKeyboard() { Keyboard.Update(); }
    // Joystick, then keyboard; the merged states are their union.
    void Update();
};

} // namespace tappo
