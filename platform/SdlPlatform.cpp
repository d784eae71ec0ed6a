// The desktop through SDL2: one window showing the 320 x 240 picture at an
// integer scale (full screen: the desktop's mode, letterboxed), its events,
// and the start-up key check through X11 (no window exists yet at that point).
#include "base/Errors.h"
#include "base/Report.h"
#include "platform/Platform.h"

#include <SDL.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cstdio>
#include <optional>

namespace tappo {

struct SdlPlatform::Impl {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    bool vsync = false;
    bool fullScreen = false;
    int scale = 0;
    uint32_t lastPresent = 0;
    long presented = 0;
    KeyLatch latch; // key presses since the last poll
};

namespace {

// The program's key for an SDL key. Letters, digits, function keys, the
// keypad, the arrows and the editing and modifier keys below are keys to the
// program (Other where it has no use for them); the rest it does not see.
std::optional<Key> KeyFromSdl(SDL_Keycode key) {
    switch (key) {
    case SDLK_ESCAPE:
        return Key::Escape;
    case SDLK_SPACE:
        return Key::Space;
    case SDLK_PAGEUP:
        return Key::PageUp;
    case SDLK_PAGEDOWN:
        return Key::PageDown;
    case SDLK_LEFT:
        return Key::Left;
    case SDLK_UP:
        return Key::Up;
    case SDLK_RIGHT:
        return Key::Right;
    case SDLK_DOWN:
        return Key::Down;
    case SDLK_F1:
        return Key::F1;
    case SDLK_F2:
        return Key::F2;
    case SDLK_F3:
        return Key::F3;
    case SDLK_F4:
        return Key::F4;
    case SDLK_F5:
        return Key::F5;
    case SDLK_F6:
        return Key::F6;
    case SDLK_F7:
        return Key::F7;
    case SDLK_h:
        return Key::H;
    case SDLK_j:
        return Key::J;
    case SDLK_k:
        return Key::K;
    case SDLK_l:
        return Key::L;
    case SDLK_z:
        return Key::Z;
    case SDLK_KP_2:
        return Key::Keypad2;
    case SDLK_KP_4:
        return Key::Keypad4;
    case SDLK_KP_6:
        return Key::Keypad6;
    case SDLK_KP_8:
        return Key::Keypad8;
    case SDLK_HOME:
        return Key::Home;
    case SDLK_END:
        return Key::End;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
        return Key::Minus;
    case SDLK_PLUS:
    case SDLK_EQUALS:
    case SDLK_KP_PLUS:
        return Key::Plus;
    case SDLK_LEFTBRACKET:
        return Key::LeftBracket;
    case SDLK_RIGHTBRACKET:
        return Key::RightBracket;
    case SDLK_F8:
        return Key::F8;
    case SDLK_F9:
        return Key::F9;
    case SDLK_COMMA:
        return Key::Comma;
    case SDLK_PERIOD:
        return Key::Period;
    case SDLK_TAB:
        return Key::Tab;
    case SDLK_SLASH:
    case SDLK_KP_DIVIDE:
        return Key::Slash;
    case SDLK_BACKSPACE:
        return Key::Backspace;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return Key::Enter;
    case SDLK_F10:
    case SDLK_F11:
    case SDLK_F12:
    case SDLK_KP_0:
    case SDLK_KP_1:
    case SDLK_KP_3:
    case SDLK_KP_5:
    case SDLK_KP_7:
    case SDLK_KP_9:
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
    case SDLK_LCTRL:
    case SDLK_RCTRL:
    case SDLK_LALT:
    case SDLK_RALT:
        return Key::Other;
    default:
        if ((key >= SDLK_a && key <= SDLK_z) || (key >= SDLK_0 && key <= SDLK_9))
            return KeyOfCharacter(char(key));
        return std::nullopt;
    }
}

// Tab and the brackets with Shift held are keys of their own.
Key WithShift(Key key, uint16_t modifiers) {
    if ((modifiers & KMOD_SHIFT) == 0) return key;
    switch (key) {
    case Key::Tab:
        return Key::ShiftTab;
    case Key::LeftBracket:
        return Key::LeftBrace;
    case Key::RightBracket:
        return Key::RightBrace;
    default:
        return key;
    }
}

// The X key symbol of a key that gives an action, for the start-up check.
KeySym KeySymOf(Key key) {
    switch (key) {
    case Key::Space:
        return XK_space;
    case Key::Left:
        return XK_Left;
    case Key::Up:
        return XK_Up;
    case Key::Right:
        return XK_Right;
    case Key::Down:
        return XK_Down;
    case Key::H:
        return XK_h;
    case Key::J:
        return XK_j;
    case Key::K:
        return XK_k;
    case Key::L:
        return XK_l;
    case Key::Z:
        return XK_z;
    case Key::Keypad2:
        return XK_KP_2;
    case Key::Keypad4:
        return XK_KP_4;
    case Key::Keypad6:
        return XK_KP_6;
    case Key::Keypad8:
        return XK_KP_8;
    default:
        return NoSymbol;
    }
}

// Whether SDL's video driver shows nothing on any screen, and the user did not
// ask for it by name (SDL_VIDEODRIVER) either.
bool InvisibleVideoDriver(const char* driver) {
    if (!driver) return true;
    const std::string name = driver;
    if (name != "offscreen" && name != "dummy") return false;
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    return !asked || name != asked;
}

} // namespace

SdlPlatform::SdlPlatform(int scale) : impl_(std::make_unique<Impl>()) {
    impl_->scale = scale;
    std::string reason;
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_JOYSTICK) != 0) {
        reason = SDL_GetError();
    } else if (const char* driver = SDL_GetCurrentVideoDriver(); InvisibleVideoDriver(driver)) {
        // When no X server or Wayland compositor answers, SDL falls back to a
        // driver that draws nowhere: the program would run on unseen, forever.
        reason = FormatText(Tr("no X server or Wayland compositor answered; SDL chose its \"%s\" "
                               "driver"),
                            driver);
    }
    if (!reason.empty()) {
        SDL_Quit();
        throw Error(FormatText(Tr("no display available (%s); run with --headless to play without "
                                  "a window"),
                               reason));
    }
}

SdlPlatform::~SdlPlatform() {
    if (impl_->texture) SDL_DestroyTexture(impl_->texture);
    if (impl_->renderer) SDL_DestroyRenderer(impl_->renderer);
    if (impl_->window) SDL_DestroyWindow(impl_->window);
    SDL_Quit();
}

namespace {

SDL_Rect DesktopBounds(bool usable) {
    SDL_Rect r{0, 0, 640, 480};
    if (!usable || SDL_GetDisplayUsableBounds(0, &r) != 0) SDL_GetDisplayBounds(0, &r);
    return r;
}

// Without a window manager (Xvfb, kiosks) a desktop full-screen window keeps
// whatever size it was made with, so it is always sized to the desktop first.
void PlaceWindow(SDL_Window* window, bool fullScreen, int width, int height, int scale) {
    if (fullScreen) {
        const SDL_Rect desk = DesktopBounds(false);
        SDL_SetWindowPosition(window, desk.x, desk.y);
        SDL_SetWindowSize(window, desk.w, desk.h);
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_SetWindowFullscreen(window, 0);
        SDL_SetWindowSize(window, width * scale, height * scale);
        SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}

} // namespace

void SdlPlatform::Open(bool fullScreen, int width, int height) {
    Impl& m = *impl_;
    m.fullScreen = fullScreen;
    if (m.scale <= 0) {
        // The largest whole scale that fits the desktop, so the picture is
        // not a postage stamp on a modern screen.
        const SDL_Rect usable = DesktopBounds(true);
        m.scale = std::max(1, std::min((usable.w - 16) / width, (usable.h - 48) / height));
    }
    if (m.window) {
        PlaceWindow(m.window, fullScreen, width, height, m.scale);
        return;
    }
    const SDL_Rect desk = DesktopBounds(false);
    const Uint32 flags = SDL_WINDOW_RESIZABLE | (fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    m.window = fullScreen ? SDL_CreateWindow("Tappo Player", desk.x, desk.y, desk.w, desk.h, flags)
                          : SDL_CreateWindow("Tappo Player", SDL_WINDOWPOS_CENTERED,
                                             SDL_WINDOWPOS_CENTERED, width * m.scale,
                                             height * m.scale, flags);
    if (!m.window)
        throw Error(FormatText(Tr(text::DisplayMode), width, height, 16) + ": " + SDL_GetError());
    window_ = m.window;
    m.renderer = SDL_CreateRenderer(m.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!m.renderer) m.renderer = SDL_CreateRenderer(m.window, -1, 0);
    if (!m.renderer)
        throw Error(FormatText(Tr(text::CannotCreate), std::string(Tr("プライマリサーフェース"))));
    SDL_RendererInfo info;
    m.vsync =
        SDL_GetRendererInfo(m.renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_RenderSetLogicalSize(m.renderer, width, height);
    SDL_RenderSetIntegerScale(m.renderer, SDL_TRUE);
    m.texture = SDL_CreateTexture(m.renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING,
                                  width, height);
    if (!m.texture)
        throw Error(FormatText(Tr(text::CannotCreate), std::string(Tr("サーフェース"))));
    SDL_ShowWindow(m.window);
    SDL_RaiseWindow(m.window);
}

void SdlPlatform::Close() {
    // The window stays: only its mode changes when the display comes back.
}

void SdlPlatform::Present(const Surface& back) {
    Impl& m = *impl_;
    if (!m.texture || !back.HasPixels()) return;
    SDL_UpdateTexture(m.texture, nullptr, back.Bits(), back.Width() * 2);
    ShowTexture();
    if (!m.vsync) {
        // Without a retrace to wait for, pace frames near 120 per second
        // instead of spinning a core.
        uint32_t now = SDL_GetTicks();
        int32_t since = int32_t(now - m.lastPresent);
        if (since >= 0 && since < 8) SDL_Delay(uint32_t(8 - since));
        m.lastPresent = SDL_GetTicks();
    }
}

void SdlPlatform::ShowTexture() {
    Impl& m = *impl_;
    SDL_SetRenderDrawColor(m.renderer, 0, 0, 0, 255);
    SDL_RenderClear(m.renderer);
    SDL_RenderCopy(m.renderer, m.texture, nullptr, nullptr);
    SDL_RenderPresent(m.renderer);
    ++m.presented;
}

long SdlPlatform::PresentedCount() const {
    return impl_->presented;
}

bool SdlPlatform::Active() const {
    if (!impl_->window) return false;
    return !(SDL_GetWindowFlags(impl_->window) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN));
}

void SdlPlatform::SetCursorVisible(bool visible) {
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void SdlPlatform::MovePointer(int x, int y) {
    Impl& m = *impl_;
    if (!m.window || !(SDL_GetWindowFlags(m.window) & SDL_WINDOW_INPUT_FOCUS)) return;
    // (x, y) is a picture position; find where the scaled picture lies.
    int ww = 0, wh = 0;
    SDL_GetWindowSize(m.window, &ww, &wh);
    int scale = std::max(1, std::min(ww / 320, wh / 240));
    SDL_WarpMouseInWindow(m.window, (ww - 320 * scale) / 2 + x * scale,
                          (wh - 240 * scale) / 2 + y * scale);
}

uint32_t SdlPlatform::NowMs() {
    return SDL_GetTicks();
}

void SdlPlatform::Show(const std::string& text) {
    ReportOnConsole(text);
    // Under an X server without a window manager SDL may have no way to show
    // a box ("No message system available"): the caller is told so.
    shownInBox_ = impl_->window &&
                  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Tappo Player", text.c_str(),
                                           static_cast<SDL_Window*>(window_)) == 0;
}

void SdlPlatform::PumpEvents(const EventSink& sink, int waitMs) {
    SDL_Event e;
    impl_->latch.BeginEvents();
    bool have = waitMs > 0 ? SDL_WaitEventTimeout(&e, waitMs) != 0 : SDL_PollEvent(&e) != 0;
    while (have) {
        switch (e.type) {
        case SDL_QUIT:
            if (sink.CloseRequest) sink.CloseRequest();
            break;
        case SDL_KEYDOWN: {
            std::optional<Key> key = KeyFromSdl(e.key.keysym.sym);
            if (key) key = WithShift(*key, e.key.keysym.mod);
            if (key && !e.key.repeat) impl_->latch.Press(*key);
            if (key && sink.KeyDown) sink.KeyDown(*key);
            break;
        }
        case SDL_TEXTINPUT:
            if (sink.TextTyped) sink.TextTyped(e.text.text);
            break;
        case SDL_WINDOWEVENT:
            // While frames are suspended (the window is not active) nothing
            // else would put the picture back after the window was covered.
            if (e.window.event == SDL_WINDOWEVENT_EXPOSED && impl_->texture) ShowTexture();
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED && sink.Activate)
                sink.Activate(true);
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST && sink.Activate) sink.Activate(false);
            break;
        default:
            break;
        }
        have = SDL_PollEvent(&e) != 0;
    }
}

void SdlPlatform::ReadKeys(KeysDown& down) {
    SDL_Window* window = impl_->window;
    if (window && (SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS)) {
        // The key state is the one after the last PumpEvents, so it agrees
        // with the latch: a press is either held now or latched, and counts once.
        int count = 0;
        const Uint8* state = SDL_GetKeyboardState(&count);
        for (int sc = 0; sc < count; ++sc) {
            if (!state[sc]) continue;
            const std::optional<Key> key = KeyFromSdl(SDL_GetKeyFromScancode(SDL_Scancode(sc)));
            if (key) down[size_t(*key)] = true;
        }
        impl_->latch.Apply(down);
        return;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::string(driver) != "x11") return;
    ::Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    char keys[32] = {};
    XQueryKeymap(display, keys);
    for (size_t key = 0; key < down.size(); ++key) {
        const KeySym sym = KeySymOf(Key(key));
        if (sym == NoSymbol) continue;
        const KeyCode code = XKeysymToKeycode(display, sym);
        if (code != 0 && (keys[code / 8] & (1 << (code % 8)))) down[key] = true;
    }
    XCloseDisplay(display);
}

bool SdlPlatform::ReadJoystick(JoystickReading& r) {
    if (SDL_NumJoysticks() <= 0) return false;
    SDL_Joystick* joy = SDL_JoystickOpen(0);
    if (!joy) return false;
    SDL_JoystickUpdate();
    // SDL's axes run from -32768 to 32767; the reading starts its range at 0.
    auto axis = [&](int i) {
        return i < SDL_JoystickNumAxes(joy) ? SDL_JoystickGetAxis(joy, i) + 32768 : 32767;
    };
    r.Min = 0, r.Max = 65535;
    r.X = axis(0), r.Y = axis(1), r.Z = axis(2);
    r.ButtonCount = std::min(32, SDL_JoystickNumButtons(joy));
    r.Buttons = 0;
    for (int b = 0; b < r.ButtonCount; ++b)
        if (SDL_JoystickGetButton(joy, b)) r.Buttons |= 1u << b;
    SDL_JoystickClose(joy);
    return true;
}

} // namespace tappo
