#pragma once
// The list download: one HTTP/1.0 GET on port 80, the answer ended by the server's close,
// stored as data.dat and read into the link lists.
//
// The answer goes to a file beside data.dat as it arrives, whatever its size up to a
// limit. Only a whole list is stored (see answer.h), signed with the trusted key when
// there is one and not older than the stored one, and it is checked and read into lists
// off the GUI thread; the rules in force stay in force until then, and are replaced in
// one step. A download that ends without storing a list (it could not start, the connect
// failed, the transfer ended in an error, the answer is too large or no whole list,
// nothing came for the silence limit or the transfer outlasted the whole limit, the
// look-up included) changes neither the lists nor the files, and leaves the client ready
// for the next one.
#include "approval/settings.h"
#include "data/linklists.h"
#include "platform/handoff.h"
#include "update/answer.h"
#include "update/buffsock.h"

#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

class QFile;

#ifndef WENLOW_UPDATE_HOST
#define WENLOW_UPDATE_HOST "lists.wenlow.invalid"
#endif

// Where the lists come from when "Default Web Server(s)" is chosen; a reserved name by
// default, so that no stranger's server can decide what children see.
inline constexpr const char* DefaultUpdateHost = WENLOW_UPDATE_HOST;
inline constexpr const char* DefaultUpdatePath = "/~valdex/data.dat";
// In the program folder: held by a download while its list takes data.dat's place.
inline constexpr const char* StoreLockName = "data.lock";

// False while this build's "Default Web Server(s)" is the reserved name that never
// resolves.
bool defaultUpdateHostSet();

class ListDownload {
public:
    ListDownload(std::string programDir, LinkLists& lists, std::string& workText);
    ~ListDownload();

    void setSettings(const SettingsView* settings) { settings_ = settings; }

    // Starts a download; returns once the connect is under way. Errors while starting
    // reach the caller.
    void UpdateData();
    void HttpClientConnect(TSockCtrl* Sender, TSocketBase* Socket);
    void HttpClientDisconnect(TSockCtrl* Sender, TSocketBase* Socket);
    static void HTTPWriteLine(TBufferedSocket* Socket, const std::string& Line);

    bool running() const { return running_; }

    TBinaryClient HttpClient;
    std::string RequestPath;
    int timeLimitMs = 60000;                            // silence: no byte for this long ends it
    int transferLimitMs = 30 * 60 * 1000;               // the whole transfer, however steady
    std::uint64_t maxBytes = std::uint64_t(256) << 20;  // a larger answer is not stored
    std::function<void()> onStored;                     // shows the update indicator
    // While the answer arrives: bytes so far, and the whole length when it is announced.
    std::function<void(std::uint64_t received, std::int64_t total)> onProgress;
    // Each end of a download, and each failure to start one: true with what was stored
    // (bytes, entries, the key and number or that it was not checked), or false with
    // what happened.
    std::function<void(bool stored, const std::string& outcome)> onEnded;

private:
    void take(TBufferedSocketBase* socket);
    void timedOut(const std::string& outcome);
    void finish();
    void store(std::shared_ptr<PreparedList> prepared);
    void endWithoutStoring(const std::string& outcome);
    void closeConnection();

    std::string programDir_;
    LinkLists& lists_;
    std::string& workText_;
    const SettingsView* settings_ = nullptr;
    QTimer deadline_;          // silence
    QTimer transferDeadline_;  // the whole transfer
    Mailbox mailbox_;  // where the worker hands back the prepared list
    bool running_ = false;
    bool opening_ = false;  // the look-up and connect start of UpdateData
    std::unique_ptr<QFile> part_;  // the answer so far, beside data.dat
    std::string head_;             // the answer's first bytes, until its headers are whole
    std::uint64_t received_ = 0;
    std::int64_t announced_ = -1;
    std::string key_;  // the key the list must be signed with, if any
    std::thread worker_;
};
