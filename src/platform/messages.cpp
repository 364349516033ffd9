#include "platform/messages.h"

#include "platform/errors.h"
#include "platform/handoff.h"

#include <QCoreApplication>
#include <QEvent>

#include <mutex>
#include <unordered_map>

namespace {

const QEvent::Type PostedMessageType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct PostedMessage : QEvent {
    explicit PostedMessage(const Msg& m) : QEvent(PostedMessageType), msg(m) {}
    Msg msg;
};

// Handles are looked up under the lock, so a post from a helper thread never reaches a
// window that is being destroyed.
struct Registry {
    std::mutex lock;
    std::unordered_map<WindowHandle, MessageWindow*> windows;
    WindowHandle next = 1;
};

Registry& registry() {
    static Registry r;
    return r;
}

std::atomic<bool> terminated{false};

}  // namespace

MessageWindow::MessageWindow(WndProc proc) : proc_(std::move(proc)) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    handle_ = r.next++;
    r.windows[handle_] = this;
}

MessageWindow::~MessageWindow() {
    auto& r = registry();
    std::lock_guard g(r.lock);
    r.windows.erase(handle_);
}

bool MessageWindow::event(QEvent* e) {
    takenOver(e);
    if (e->type() != PostedMessageType) return QObject::event(e);
    Msg msg = static_cast<PostedMessage*>(e)->msg;
    if (proc_) guarded([&] { proc_(msg); });  // nothing escapes into the event loop
    return true;
}

bool PostMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.windows.find(window);
    if (it == r.windows.end()) return false;
    auto* posted = new PostedMessage(Msg{message, wParam, lParam, 0});
    handedOver(posted);
    QCoreApplication::postEvent(it->second, posted);
    return true;
}

void ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool Terminated() { return terminated.load(); }
void Terminate() {
    terminated = true;
    if (auto* app = QCoreApplication::instance()) app->quit();
}
void ClearTerminated() { terminated = false; }
