#include "platform/handoff.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

const QEvent::Type WorkType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct Work : QEvent {
    explicit Work(std::function<void()> w) : QEvent(WorkType), work(std::move(w)) {}
    std::function<void()> work;
};

}  // namespace

void Mailbox::post(std::function<void()> work) {
    auto* posted = new Work(std::move(work));
    handedOver(posted);
    QCoreApplication::postEvent(this, posted);
}

bool Mailbox::event(QEvent* e) {
    takenOver(e);
    if (e->type() != WorkType) return QObject::event(e);
    static_cast<Work*>(e)->work();
    return true;
}
