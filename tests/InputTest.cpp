// Input states: the key table, keys held together, the joystick's dead zone,
// and key presses latched between two polls.
#include "platform/Input.h"
#include "platform/Platform.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace tappo;

namespace {

constexpr int Button9 = isStart + 8;

// The states after one update with `held` down.
PadStates KeyStates(std::initializer_list<int> held) {
    ScriptedKeys keys;
    for (int k : held)
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

TEST(Input, KeyTableOfThePlayer) {
    const KeyboardReader keyboard;
    using Row = std::array<uint32_t, 3>;
    EXPECT_EQ(keyboard.Assigns[isUp], (Row{75, 38, 104}));
    EXPECT_EQ(keyboard.Assigns[isDown], (Row{74, 40, 98}));
    EXPECT_EQ(keyboard.Assigns[isLeft], (Row{72, 37, 100}));
    EXPECT_EQ(keyboard.Assigns[isRight], (Row{76, 39, 102}));
    EXPECT_EQ(keyboard.Assigns[isStart], (Row{90, 32, 0}));
    EXPECT_EQ(keyboard.Assigns[isSecondButton], (Row{88, 13, 0}));
    EXPECT_EQ(keyboard.Assigns[Button9], (Row{113, 0, 0}));
    for (int k = 0; k < InputStateCount; ++k)
        if (k > isSecondButton && k != Button9) {
            EXPECT_EQ(keyboard.Assigns[size_t(k)], (Row{0, 0, 0})) << "state " << k;
        }

    // Every key of the table sets its own state and nothing else; the low
    // byte is what the game tests (1 Up, 2 Down, 4 Left, 8 Right, 16 Start).
    for (int k : {75, 38, 104})
        EXPECT_EQ(KeyStates({k}), 1u) << k;
    for (int k : {74, 40, 98})
        EXPECT_EQ(KeyStates({k}), 2u) << k;
    for (int k : {72, 37, 100})
        EXPECT_EQ(KeyStates({k}), 4u) << k;
    for (int k : {76, 39, 102})
        EXPECT_EQ(KeyStates({k}), 8u) << k;
    for (int k : {90, 32})
        EXPECT_EQ(KeyStates({k}), 16u) << k;
    EXPECT_EQ(KeyStates({vk::Return}), 32u) << "Enter is Button2";
    EXPECT_EQ(KeyStates({'X'}), 32u);
    EXPECT_EQ(KeyStates({vk::F2}), StateBit(Button9)) << "F2 is Button9";
    EXPECT_EQ(KeyStates({vk::Escape, vk::F1, vk::F4, 'A', vk::Numpad2 + 1}), 0u)
        << "keys outside the table";
}

TEST(Input, HeldKeysAreLevelsCombinedAsASet) {
    EXPECT_EQ(KeyStates({'Z', vk::Space}), StateBit(isStart)) << "Z with Space: Start once";
    EXPECT_EQ(KeyStates({vk::Left, vk::Right}), StateBit(isLeft) | StateBit(isRight));
    EXPECT_EQ(KeyStates({'K', vk::Up, vk::Numpad8, 'J'}), StateBit(isUp) | StateBit(isDown));

    // A held key stays set in every update; releasing it clears it.
    ScriptedKeys keys;
    KeyboardReader keyboard;
    keyboard.Source = &keys;
    keys.Press(vk::Up);
    for (int i = 0; i < 3; ++i) {
        keyboard.Update();
        EXPECT_EQ(keyboard.States, StateBit(isUp));
    }
    keys.Release(vk::Up);
    keyboard.Update();
    EXPECT_EQ(keyboard.States, 0u);
    // A disabled keyboard reads nothing; key codes above 255 are never down.
    keys.Press(vk::Up);
    keyboard.Enabled = false;
    keyboard.Update();
    EXPECT_EQ(keyboard.States, 0u);
    keyboard.Enabled = true;
    keyboard.Assigns[isUp] = {300, 0, 0};
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
              StateBit(isRight) | StateBit(isUp) | StateBit(isStart) | StateBit(isStart + 3));
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
    keys.Press(vk::Space);
    Controller input;
    input.Joystick.Source = &source;
    input.Keyboard.Source = &keys;
    input.Update();
    EXPECT_EQ(input.Joystick.States, 0u);
    EXPECT_EQ(input.States, StateBit(isStart));
    source.present = true, source.reading.Buttons = 1, source.reading.X = 0;
    keys.ReleaseAll();
    input.Update();
    EXPECT_EQ(input.States, StateBit(isStart) | StateBit(isLeft)) << "joystick Start at start-up";
}

TEST(Input, ATapBetweenTwoPollsCountsOnce) {
    ScriptedKeys keys;
    KeyboardReader keyboard;
    keyboard.Source = &keys;
    keys.Tap(vk::Space); // pressed and released before the poll
    keyboard.Update();
    EXPECT_EQ(keyboard.States, StateBit(isStart));
    keyboard.Update();
    EXPECT_EQ(keyboard.States, 0u) << "once, not again at the next poll";

    // The platform's latch: presses since the events began, emptied by the poll.
    KeyLatch latch;
    std::array<bool, 256> down{};
    latch.BeginEvents();
    latch.Press(vk::Left);
    latch.Press(vk::Left);
    latch.Press(999); // no such virtual key
    latch.Apply(down);
    EXPECT_TRUE(down[vk::Left]);
    EXPECT_EQ(std::count(down.begin(), down.end(), true), 1);
    down.fill(false);
    latch.Apply(down);
    EXPECT_FALSE(down[vk::Left]) << "emptied by the poll";
    // A key held at the poll and latched too is one key down.
    down[vk::Right] = true;
    latch.Press(vk::Right);
    latch.Apply(down);
    EXPECT_EQ(std::count(down.begin(), down.end(), true), 1);
    // A press that no poll took is dropped when the next events begin, so it
    // cannot act frames later.
    latch.Press(vk::Space);
    latch.BeginEvents();
    down.fill(false);
    latch.Apply(down);
    EXPECT_FALSE(down[vk::Space]);
}
