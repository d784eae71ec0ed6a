// Input: the keyboard and a joystick turned into the five actions the
// program knows (Up, Down, Left, Right, Start), polled once a frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>

namespace tappo {

// The keys the program tells apart. The platform turns its own key codes into
// these; a key the program has no use for arrives as Other (it still takes
// an error band away). Home, End, the letters and the digits move the select
// screen's cursor; Minus and Plus set the volume.
enum class Key : uint8_t {
    Other,
    Escape,
    Space,
    PageUp,
    PageDown,
    Left,
    Up,
    Right,
    Down,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    H,
    J,
    K,
    L,
    Z,
    Keypad2,
    Keypad4,
    Keypad6,
    Keypad8,
    Home,
    End,
    Minus, // "-" and the keypad's "-"
    Plus,  // "+", "=" (the same key on US keyboards) and the keypad's "+"
    // The letters the keys above leave, and the digits.
    A,
    B,
    C,
    D,
    E,
    F,
    G,
    I,
    M,
    N,
    O,
    P,
    Q,
    R,
    S,
    T,
    U,
    V,
    W,
    X,
    Y,
    Digit0,
    Digit1,
    Digit2,
    Digit3,
    Digit4,
    Digit5,
    Digit6,
    Digit7,
    Digit8,
    Digit9,
    // Play: the playback rate down (",") and up (".").
    Comma,
    Period,
    // Play: eight measures back and forward, the scroll speed down and up.
    // The select screen's song finding: Tab cycles the sort, F9 the key
    // layout shown, Slash or F8 opens the search line, which Backspace edits
    // and Enter closes.
    LeftBracket,
    RightBracket,
    F8,
    F9,
    Tab,
    Slash,
    Backspace,
    Enter,
    // With Shift held: the sort back, the highest level shown down and up.
    ShiftTab,
    LeftBrace,
    RightBrace
};
inline constexpr size_t KeyCount = size_t(Key::RightBrace) + 1;
// Which keys are down, indexed by Key.
using KeysDown = std::array<bool, KeyCount>;

enum class Action : uint8_t { Up, Down, Left, Right, Start };
using Actions = uint8_t; // bit n = action n

constexpr Actions ActionBit(Action a) {
    return Actions(1u << unsigned(a));
}
constexpr bool HasAction(Actions set, Action a) {
    return (set & ActionBit(a)) != 0;
}

// The player's keys: K, Up or keypad 8 is Up; J, Down or keypad 2 Down; H,
// Left or keypad 4 Left; L, Right or keypad 6 Right; Z or Space Start.
std::optional<Action> ActionOfKey(Key key);
// The character a letter or digit key types ('a'-'z', '0'-'9'), H J K L and
// Z included; none for the other keys.
std::optional<char> CharacterOfKey(Key key);
// The key that types `c` (a letter in either case, or a digit); Other for any
// other character.
Key KeyOfCharacter(char c);

// Which keys are held now.
class KeySource {
  public:
    virtual ~KeySource() = default;
    virtual void ReadKeys(KeysDown& down) = 0;
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
    void Press(Key key) { pressed_[size_t(key)] = true; }
    // Marks the latched keys down and empties the latch.
    void Apply(KeysDown& down) {
        for (size_t k = 0; k < down.size(); ++k)
            down[k] = down[k] || pressed_[k];
        pressed_.fill(false);
    }

  private:
    KeysDown pressed_{};
};

// Keys held by a script: headless runs and tests.
class ScriptedKeys : public KeySource {
  public:
    void Press(Key key) { down_.insert(key); }
    void Release(Key key) { down_.erase(key); }
    void ReleaseAll() { down_.clear(); }
    // Pressed and released before the next poll.
    void Tap(Key key) { latch_.Press(key); }
    void ReadKeys(KeysDown& down) override {
        for (Key k : down_)
            down[size_t(k)] = true;
        latch_.Apply(down);
    }

  private:
    std::set<Key> down_;
    KeyLatch latch_;
};

class KeyboardReader {
  public:
    KeySource* Source = nullptr;
    Actions States = 0;
    void Update();
};

class JoystickReader {
  public:
    JoystickSource* Source = nullptr;
    int DeadZoneX = 50, DeadZoneY = 50, DeadZoneZ = 50; // percent of the half range
    int RangeX = 1000, RangeY = 1000, RangeZ = 1000;
    Actions States = 0;      // the stick's directions; button 1 is Start
    int X = 0, Y = 0, Z = 0; // scaled axes
    void Update();
};
// A raw axis value to -range..range with the dead zone in the middle.
int ScaleAxis(int value, int min, int max, int deadZone, int range);

class Controller {
  public:
    KeyboardReader Keyboard;
    JoystickReader Joystick;
    Actions States = 0; // merged, after Update
    void UpdateKeyboard() { Keyboard.Update(); }
    // Joystick, then keyboard; the merged states are their union.
    void Update();
};

} // namespace tappo
