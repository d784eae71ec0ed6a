// What the game needs from the desktop besides drawing: the program folder,
// message boxes, the start-up key check, PNG snapshots of the back surface, and
// the SDL window with its event pump.
#pragma once

#include "platform/Display.h"
#include "platform/Input.h"
#include "platform/Timer.h"

#include <functional>
#include <memory>
#include <string>

namespace tappo {

// Folder of the running executable, with a trailing separator.
std::string ExecutableFolder();

// Where error texts go: stderr always, and a message box while a window is up.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    virtual void Show(const std::string& text) = 0;
    // Whether the last Show put its text before the user in a box. Without a
    // window, or where the desktop has no message system, it did not: the
    // caller then shows the text on the picture.
    virtual bool ShownInBox() const { return false; }
};

class StderrMessageBox : public MessageBox {
  public:
    void Show(const std::string& text) override;
};

// Writes the back surface as a PNG (temporary name, then rename).
void WritePng(const std::string& path, const Surface& surface);
std::vector<uint8_t> EncodePng(const Surface& surface);

// Handlers the event pump calls.
struct EventSink {
    std::function<void(Key key)> KeyDown;
    // Text typed (UTF-8), as the desktop's text input composed it.
    std::function<void(const std::string& text)> TextTyped;
    std::function<void()> CloseRequest;
    std::function<void(bool active)> Activate;
};

// The real desktop: SDL video, a window that shows the picture scaled up, and
// the system's millisecond clock.
class SdlPlatform : public FramePresenter,
                    public TickSource,
                    public MessageBox,
                    public KeySource,
                    public JoystickSource {
  public:
    // Throws Error with a readable reason when no display can be opened.
    explicit SdlPlatform(int scale = 0);
    ~SdlPlatform() override;

    // FramePresenter
    void Open(bool fullScreen, int width, int height) override;
    void Close() override;
    void Present(const Surface& back) override;
    bool Active() const override;
    bool HasWindow() const override { return window_ != nullptr; }
    void SetCursorVisible(bool visible) override;
    void MovePointer(int x, int y) override;
    // TickSource
    uint32_t NowMs() override;
    // MessageBox
    void Show(const std::string& text) override;
    bool ShownInBox() const override { return shownInBox_; }

    // Handles every pending window event; waits up to `waitMs` for one first.
    // Key presses are latched for the next ReadKeys; an expose event shows
    // the last picture again.
    void PumpEvents(const EventSink& sink, int waitMs = 0);
    // Keys held now (as of the last PumpEvents) or pressed since the last
    // read: from SDL while the window has the focus, otherwise (at start-up,
    // before any window exists) from the X server's key map.
    void ReadKeys(KeysDown& down) override;
    bool ReadJoystick(JoystickReading& reading) override;

    // How many times a picture was put on the window, shown-again ones included.
    long PresentedCount() const;

  private:
    void ShowTexture();
    struct Impl;
    std::unique_ptr<Impl> impl_;
    void* window_ = nullptr;
    bool shownInBox_ = false;
};

} // namespace tappo
