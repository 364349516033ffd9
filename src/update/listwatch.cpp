#include "update/listwatch.h"

#include <sys/stat.h>

struct ListFileWatcher::Reading {
    Identity before, after;
    bool read = false;
    LinkLists lists;
    std::string text;
};

ListFileWatcher::ListFileWatcher(std::string programDir, LinkLists& lists, std::string& workText)
    : programDir_(std::move(programDir)), lists_(lists), workText_(workText) {
    settle_.setSingleShot(true);
    settle_.setInterval(250);
    connect(&settle_, &QTimer::timeout, this, [this] { check(); });
    connect(&poll_, &QTimer::timeout, this, [this] { check(); });
    connect(&watch_, &QFileSystemWatcher::directoryChanged, this, [this] { settle_.start(); });
}

ListFileWatcher::~ListFileWatcher() {
    if (worker_.joinable()) worker_.join();
}

ListFileWatcher::Identity ListFileWatcher::identity() const {
    struct stat s {};
    if (::stat((programDir_ + "data.dat").c_str(), &s) != 0) return {};
    return {static_cast<unsigned long long>(s.st_dev), static_cast<unsigned long long>(s.st_ino),
            static_cast<unsigned long long>(s.st_size), s.st_mtim.tv_sec * 1000000000LL + s.st_mtim.tv_nsec,
            s.st_ctim.tv_sec * 1000000000LL + s.st_ctim.tv_nsec};
}

void ListFileWatcher::follow() {
    followed_ = identity();
    if (following_) return;
    following_ = true;
    watch_.addPath(QString::fromLocal8Bit(programDir_.c_str()));  // when refused, the look alone
    poll_.start(checkMs);
}

void ListFileWatcher::check() {
    if (reading_) {
        again_ = true;
        return;
    }
    const Identity now = identity();
    if (now == followed_) return;
    reading_ = true;
    if (worker_.joinable()) worker_.join();
    // Read into lists of its own: nothing in force is touched until it is handed back.
    worker_ = std::thread([this, now] {
        auto reading = std::make_shared<Reading>();
        reading->before = now;
        try {
            readDataFile(programDir_, reading->text, reading->lists);
            reading->read = true;
        } catch (const std::exception&) {
            // Gone or unreadable: the rules stay as they are.
        }
        reading->after = identity();
        mailbox_.post([this, reading] { arrived(reading); });
    });
}

void ListFileWatcher::arrived(const std::shared_ptr<Reading>& reading) {
    if (worker_.joinable()) worker_.join();
    reading_ = false;
    // A file that changed while it was read, or since, is read again as it is now.
    if (reading->before == reading->after && reading->after == identity()) {
        followed_ = reading->after;
        if (reading->read) {
            lists_ = std::move(reading->lists);
            workText_ = std::move(reading->text);
            if (onReloaded) onReloaded();
        }
    } else {
        again_ = true;
    }
    if (again_) {
        again_ = false;
        settle_.start();
    }
}
