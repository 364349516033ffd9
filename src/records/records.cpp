#include "records/records.h"

#include <pwd.h>
#include <unistd.h>

#include <chrono>

namespace {

// Long texts are cut: a record stays a line, whatever a page asks for.
void trim(std::string& s, std::size_t limit) {
    if (s.size() > limit) s.resize(limit);
}

}  // namespace

std::int64_t nowMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string thisAccount() {
    static const std::string name = [] {
        struct passwd pw {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found) return std::string(found->pw_name);
        return std::to_string(::getuid());
    }();
    return name;
}

Records::Records(std::unique_ptr<RecordStore> store) : store_(std::move(store)), thread_([this] { run(); }) {}

Records::~Records() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void Records::add(Record r) {
    if (r.time == 0) r.time = nowMicroseconds();
    if (r.account.empty()) r.account = thisAccount();
    trim(r.address, 2000);
    trim(r.page, 2000);
    trim(r.site, 255);
    trim(r.rule, 500);
    trim(r.note, NoteLimit);
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= QueueLimit) {
            ++dropped_;
            return;
        }
        queue_.push_back(std::move(r));
        ++added_;
    }
    wake_.notify_one();
}

void Records::flush() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = added_;
    written_.wait(lock, [&] { return done_ >= target; });
}

std::vector<Record> Records::recent(std::size_t limit) {
    flush();
    return store_->recent(limit);
}

std::uint64_t Records::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void Records::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty() && stopping_) return;
        std::vector<Record> batch(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
        queue_.clear();
        lock.unlock();
        store_->write(batch);
        lock.lock();
        done_ += batch.size();
        written_.notify_all();
    }
}
