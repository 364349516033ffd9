#pragma once
// Hidden message windows: a window handle, a window procedure, and messages posted to
// it from any thread and delivered on the GUI thread inside Qt's event loop.
#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>

using WindowHandle = std::uintptr_t;

constexpr std::uint32_t WM_USER = 1024;

struct Msg {
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    std::intptr_t result = 0;
};

class MessageWindow : public QObject {
public:
    using WndProc = std::function<void(Msg&)>;
    explicit MessageWindow(WndProc proc);
    ~MessageWindow() override;
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    WindowHandle handle() const { return handle_; }

protected:
    bool event(QEvent* e) override;

private:
    WndProc proc_;
    WindowHandle handle_;
};

// Thread-safe. False when no window has this handle (any more).
bool PostMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

// Delivers the messages and events pending now, once.
void ProcessMessages();

// The application's terminate flag.
bool Terminated();
void Terminate();
void ClearTerminated();
