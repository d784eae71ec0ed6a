// Input: which keys give which action, keys held together, the joystick's
// dead zone, and key presses latched between two polls.
#include "platform/Input.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace tappo;

namespace {

// The actions after one update with `held` down.
Actions KeyStates(std::initializer_list<Key> held) {
    ScriptedKeys keys;
    for (Key k : held)
        keys.Press(k);
    KeyboardReader keyboard;
    keyboard.Source = &keys;
    keyboard.Update();
    return keyboard.States;
}

struct FixedJoystick : JoystickSource {
    bool present = true;
    JoystickReading reading;
    bool ReadJoystick(JoystickReading& r) override {
        r = reading;
        return present;
    }
};

} // namespace

TEST(Input, KeysOfThePlayer) {
    const auto only = [](Action a) { return ActionBit(a); };
    for (Key k : {Key::K, Key::Up, Key::Keypad8})
        EXPECT_EQ(KeyStates({k}), only(Action::Up)) << int(k);
    for (Key k : {Key::J, Key::Down, Key::Keypad2})
        EXPECT_EQ(KeyStates({k}), only(Action::Down)) << int(k);
    for (Key k : {Key::H, Key::Left, Key::Keypad4})
        EXPECT_EQ(KeyStates({k}), only(Action::Left)) << int(k);
    for (Key k : {Key::L, Key::Right, Key::Keypad6})
        EXPECT_EQ(KeyStates({k}), only(Action::Right)) << int(k);
    for (Key k : {Key::Z, Key::Space})
        EXPECT_EQ(KeyStates({k}), only(Action::Start)) << int(k);
    EXPECT_EQ(KeyStates({Key::Escape, Key::F1, Key::F2, Key::F4, Key::PageUp, Key::Other}), 0)
        << "command keys give no action";
}

TEST(Input, HeldKeysAreLevelsCombinedAsASet) {
    EXPECT_EQ(KeyStates({Key::Z, Key::Space}), ActionBit(Action::Start))
        << "Z with Space: Start once";
    EXPECT_EQ(KeyStates({Key::Left, Key::Right}),
              ActionBit(Action::Left) | ActionBit(Action::Right));
    EXPECT_EQ(KeyStates({Key::K, Key::Up, Key::Keypad8, Key::J}),
              ActionBit(Action::Up) | ActionBit(Action::Down));

    // A held key stays set in every update; releasing it clears it.
    ScriptedKeys keys;
    KeyboardReader keyboard;
    keyboard.Source = &keys;
    keys.Press(Key::Up);
    for (int i = 0; i < 3; ++i) {
        keyboard.Update();
        EXPECT_EQ(keyboard.States, ActionBit(Action::Up));
    }
    keys.Release(Key::Up);
    keyboard.Update();
    EXPECT_EQ(keyboard.States, 0u);
}

TEST(Input, JoystickDeadZoneAndScaling) {
    // The player's settings: dead zone 50 %, range 1000, platform range 0..65535
    // (half 32767, dead 16383). The middle half of the travel reads 0.
    EXPECT_EQ(ScaleAxis(32767, 0, 65535, 50, 1000), 0);
    EXPECT_EQ(ScaleAxis(32767 + 16383, 0, 65535, 50, 1000), 0);
    EXPECT_EQ(ScaleAxis(32767 - 16383, 0, 65535, 50, 1000), 0);
    EXPECT_EQ(ScaleAxis(32767 + 16383 + 164, 0, 65535, 50, 1000), 10)
        << "164 x 1000 / 16384, rounded";
    EXPECT_EQ(ScaleAxis(65535, 0, 65535, 50, 1000), 1000);
    EXPECT_EQ(ScaleAxis(0, 0, 65535, 50, 1000), -1000);
    EXPECT_EQ(ScaleAxis(65535, 0, 65535, 100, 1000), 0) << "a dead zone of the whole half range";
    EXPECT_EQ(ScaleAxis(65535, 0, 65535, 0, 1000), 1000);

    FixedJoystick source;
    JoystickReader joystick;
    joystick.Source = &source;
    source.reading.X = 65535, source.reading.Y = 0, source.reading.Z = 32767;
    source.reading.ButtonCount = 4, source.reading.Buttons = 0b1001;
    joystick.Update();
    EXPECT_EQ(joystick.X, 1000);
    EXPECT_EQ(joystick.Y, -1000);
    EXPECT_EQ(joystick.States,
              ActionBit(Action::Right) | ActionBit(Action::Up) | ActionBit(Action::Start))
        << "button 1 is Start; the others give nothing";
    // Inside the dead zone the stick is centred.
    source.reading.X = 40000, source.reading.Y = 25000, source.reading.Buttons = 0;
    joystick.Update();
    EXPECT_EQ(joystick.States, 0u);
    // Buttons beyond the reported count do not exist.
    source.reading.ButtonCount = 1, source.reading.Buttons = 0b10;
    joystick.Update();
    EXPECT_EQ(joystick.States, 0u);
    // No joystick: everything clear, and the merged states are the keyboard's.
    source.present = false;
    ScriptedKeys keys;
    keys.Press(Key::Space);
    Controller input;
    input.Joystick.Source = &source;
    input.Keyboard.Source = &keys;
    input.Update();
    EXPECT_EQ(input.Joystick.States, 0u);
    EXPECT_EQ(input.States, ActionBit(Action::Start));
    source.present = true, source.reading.Buttons = 1, source.reading.X = 0;
    keys.ReleaseAll();
    input.Update();
    EXPECT_EQ(input.States, ActionBit(Action::Start) | ActionBit(Action::Left))
        << "joystick Start at start-up";
}

TEST(Input, ATapBetweenTwoPollsCountsOnce) {
    ScriptedKeys keys;
    KeyboardReader keyboard;
    keyboard.Source = &keys;
    keys.Tap(Key::Space); // pressed and released before the poll
    keyboard.Update();
    EXPECT_EQ(keyboard.States, ActionBit(Action::Start));
    keyboard.Update();
    EXPECT_EQ(keyboard.States, 0u) << "once, not again at the next poll";

    // The platform's latch: presses since the events began, emptied by the poll.
    KeyLatch latch;
    KeysDown down{};
    latch.BeginEvents();
    latch.Press(Key::Left);
    latch.Press(Key::Left);
    latch.Apply(down);
    EXPECT_TRUE(down[size_t(Key::Left)]);
    EXPECT_EQ(std::count(down.begin(), down.end(), true), 1);
    down.fill(false);
    latch.Apply(down);
    EXPECT_FALSE(down[size_t(Key::Left)]) << "emptied by the poll";
    // A key held at the poll and latched too is one key down.
    down[size_t(Key::Right)] = true;
    latch.Press(Key::Right);
    latch.Apply(down);
    EXPECT_EQ(std::count(down.begin(), down.end(), true), 1);
    // A press that no poll took is dropped when the next events begin, so it
    // cannot act frames later.
    latch.Press(Key::Space);
    latch.BeginEvents();
    down.fill(false);
    latch.Apply(down);
    EXPECT_FALSE(down[size_t(Key::Space)]);
}
