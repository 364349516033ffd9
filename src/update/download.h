#pragma once
// The list download: one HTTP/1.0 GET on port 80, the whole answer, ended by the
// server's close, stored as data.dat and read back into the link lists.
//
// A download that ends without storing a new data.dat (it could not start, the connect
// failed, nothing came, the connection was reset, the answer overflowed the buffer, the
// server answered with an error status, or it did not end in time) reads the lists
// again from the data.dat on disk, so the rules in force stay in force.
#include "approval/settings.h"
#include "data/linklists.h"
#include "update/buffsock.h"

#include <QTimer>

#include <functional>
#include <string>

#ifndef WENLOW_UPDATE_HOST
#define WENLOW_UPDATE_HOST "lists.wenlow.invalid"
#endif

// Where the lists come from when "Default Web Server(s)" is chosen; a reserved name by
// default, so that no stranger's server can decide what children see.
inline constexpr const char* DefaultUpdateHost = WENLOW_UPDATE_HOST;
inline constexpr const char* DefaultUpdatePath = "/~valdex/data.dat";

// Host and request path from the address typed for "URL Specified Below".
struct UpdateSource {
    std::string host;
    std::string path;
};
UpdateSource parseUpdateAddress(std::string text);

// "HTTP/x.y NNN": the answer is an error page unless NNN is 2xx. An answer without a
// status line is a list as it stands.
bool isErrorStatus(const std::string& response);

class ListDownload {
public:
    ListDownload(std::string programDir, LinkLists& lists, std::string& workText);

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
    int timeLimitMs = 60000;               // a download not ended by then is abandoned
    std::function<void()> onStored;        // shows the update indicator
    // Each end of a download: true with the bytes stored, or false with what happened.
    std::function<void(bool stored, const std::string& outcome)> onEnded;

private:
    void endWithoutStoring(const std::string& outcome);
    void restoreLists();
    void abandon(const std::string& outcome);

    std::string programDir_;
    LinkLists& lists_;
    std::string& workText_;
    const SettingsView* settings_ = nullptr;
    QTimer deadline_;
    bool running_ = false;
    bool overflowed_ = false;
};
