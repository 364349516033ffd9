#pragma once
// The browser's records: made on the window's thread, written on a thread of their own,
// so a slow journal or disk never holds up a page or a box.
#include "records/record.h"
#include "records/store.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class Records {
public:
    explicit Records(std::unique_ptr<RecordStore> store);
    ~Records();  // writes what is waiting
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    // Stamps the time and this account, trims long texts, and hands it to the writer.
    // Beyond `QueueLimit` records waiting, new ones are counted and dropped.
    void add(Record r);
    // Waits until everything added so far is written.
    void flush();
    // The newest records, oldest first (everything added is written first).
    std::vector<Record> recent(std::size_t limit);
    std::string where() const { return store_->where(); }
    std::uint64_t dropped() const;

    static constexpr std::size_t QueueLimit = 10000;

private:
    void run();

    std::unique_ptr<RecordStore> store_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, written_;
    std::deque<Record> queue_;
    std::uint64_t added_ = 0, done_ = 0, dropped_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

// Now, in microseconds since 1970.
std::int64_t nowMicroseconds();
// The name of the account this program runs as.
std::string thisAccount();
