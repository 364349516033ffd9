#pragma once
// A real web server for the download: nginx serving a folder on a free loopback port.
#include "support/peer.h"
#include "support/tempdir.h"

#include <QFile>
#include <QProcess>

#include <string>

class NginxSite {
public:
    static constexpr const char* Program = "/usr/sbin/nginx";
    static bool installed() { return QFile::exists(Program); }

    ProgramFolder files;  // what it serves
    std::string httpExtra;  // more of the http block (log formats)

    // False when it could not be started. `extra`: more of the server block; `listen`:
    // more of its listen directive.
    bool start(const std::string& extra = "", const std::string& listen = "") {
        // The free port may be taken by another program before nginx binds it: nginx then
        // ends at once, and another port is tried.
        for (int attempt = 0; attempt < 5; ++attempt) {
            {
                LoopbackPeer probe;  // a free port
                port_ = probe.port();
            }
            files.remove("nginx.pid");
            files.write("nginx.conf", "daemon off; worker_processes 1; pid " + files.file("nginx.pid") + ";\n" +
                                          (::geteuid() == 0 ? "user root;\n" : "") + "error_log " +
                                          files.file("error.log") + ";\nevents {}\nhttp { access_log off; " + httpExtra +
                                          " server { listen 127.0.0.1:" + std::to_string(port_) + listen + "; root " +
                                          files.path() + "; " + extra + " } }\n");
            server_.start(Program, {"-c", QString::fromStdString(files.file("nginx.conf")), "-p",
                                    QString::fromStdString(files.path())});
            if (!server_.waitForStarted()) return false;
            // nginx writes its pid file once it listens.
            pumpUntil([&] { return files.exists("nginx.pid") || server_.state() == QProcess::NotRunning; });
            if (server_.state() == QProcess::Running && files.exists("nginx.pid")) return true;
            server_.waitForFinished(1000);
        }
        return false;
    }
    // The same over TLS, with a certificate and its key.
    bool startSecure(const std::string& certificate, const std::string& key, const std::string& extra = "") {
        return start("ssl_certificate " + certificate + "; ssl_certificate_key " + key + "; " + extra, " ssl");
    }
    std::uint16_t port() const { return port_; }
    std::string log() const { return files.read("error.log"); }

    ~NginxSite() {
        server_.terminate();
        server_.waitForFinished();
    }

private:
    std::uint16_t port_ = 0;
    QProcess server_;
};
