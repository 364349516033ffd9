#pragma once
// Keeps the lists in force those of the data.dat on disk when another process replaces it
// (the daily timer, wenlow-update, wenlow-lists --out). The folder is watched, and
// data.dat's identity (device, inode, size, times) is also looked at every few seconds,
// since a watch can be refused or miss a write in place. A new file is read and indexed
// off the GUI thread, as a download's is, and the lists are replaced in one step; a file
// that cannot be read, or changes while it is read, never replaces them.
#include "data/linklists.h"
#include "platform/handoff.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <thread>

class ListFileWatcher : public QObject {
public:
    ListFileWatcher(std::string programDir, LinkLists& lists, std::string& workText);
    ~ListFileWatcher() override;

    // The lists in force are those of data.dat as it is now (read by the caller, at start
    // or by a download that has just stored it); from now on a change is followed.
    void follow();

    int checkMs = 2000;                // the look without a watch
    std::function<void()> onReloaded;  // after the lists were replaced

private:
    struct Identity {
        unsigned long long device = 0, inode = 0, size = 0;
        long long modified = 0, changed = 0;  // nanoseconds; all 0: no file
        bool operator==(const Identity&) const = default;
    };
    struct Reading;
    Identity identity() const;
    void check();
    void arrived(const std::shared_ptr<Reading>& reading);

    std::string programDir_;
    LinkLists& lists_;
    std::string& workText_;
    Identity followed_;  // of the file the lists in force (or the last try) came from
    bool following_ = false;
    bool reading_ = false;
    bool again_ = false;  // a change came while a file was read
    QFileSystemWatcher watch_;
    QTimer settle_;  // a burst of changes is looked at once
    QTimer poll_;
    Mailbox mailbox_;
    std::thread worker_;
};
