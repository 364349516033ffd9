#pragma once
// Work handed from a helper thread to the thread of a Qt object. Qt's own locking is
// not seen by ThreadSanitizer, so each hand-over is told to it here (otherwise nothing).
#include <QObject>

#include <functional>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
inline void handedOver(void* object) { __tsan_release(object); }
inline void takenOver(void* object) { __tsan_acquire(object); }
#else
inline void handedOver(void*) {}
inline void takenOver(void*) {}
#endif

// Runs what is posted to it on its own thread, later; post from any thread.
class Mailbox : public QObject {
public:
    void post(std::function<void()> work);

protected:
    bool event(QEvent* e) override;
};
