#pragma once
// The list download: one HTTP/1.0 GET on port 80, the whole answer, ended by the
// server's close, stored as data.dat and read back into the link lists.
//
// The rules in force stay in force while a download runs. One that ends without storing
// a new data.dat (it could not start, the connect failed, the transfer ended in an
// error, the answer overflowed the buffer or is not a whole list, or the download did
// not end in time, the look-up included) changes neither the lists nor the files, and
// leaves the client ready for the next one.
#include "approval/settings.h"
#include "data/linklists.h"
#include "update/buffsock.h"

#include <QTimer>

#include <functional>
#include <string>
#include <string_view>

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

// Why an answer is not a whole list, or empty when it is one: it needs a status line
// with a 2xx status, the whole header block, a body of the length announced when one
// is, and the lines "starturls", "mainurls", "endurls" in that order.
std::string answerProblem(std::string_view answer);

// False while this build's "Default Web Server(s)" is the reserved name that never
// resolves.
bool defaultUpdateHostSet();

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

    std::string programDir_;
    LinkLists& lists_;
    std::string& workText_;
    const SettingsView* settings_ = nullptr;
    QTimer deadline_;
    bool running_ = false;
    bool overflowed_ = false;
    bool opening_ = false;  // the look-up and connect start of UpdateData
};
