#pragma once
// A desktop's accessibility bus, started and stopped by the test: a private D-Bus session
// for this process, and on it the AT-SPI bus and registry with the switch a screen reader
// sets when it starts. Qt's bridge then hands the bus the program's accessibility tree.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// A program run beside the test, which ends with it however the test ends.
class ChildProcess {
public:
    // `output`, when given, becomes the child's descriptor 3.
    explicit ChildProcess(std::vector<std::string> words, int output = -1) {
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (output >= 0) dup2(output, 3);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~ChildProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

// The session bus, for as long as this lives; made before the application object, which
// looks for it as it starts.
class PrivateSessionBus {
public:
    PrivateSessionBus() {
        int pipe_[2];
        if (pipe(pipe_) != 0) return;
        daemon_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=3"},
            pipe_[1]);
        close(pipe_[1]);
        FILE* in = fdopen(pipe_[0], "r");
        char address[512] = {};
        const bool read = std::fgets(address, sizeof address, in) != nullptr;
        std::fclose(in);
        if (!read) return;
        std::string bus = address;
        bus.erase(bus.find_last_not_of("\r\n") + 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
        unsetenv("AT_SPI_BUS_ADDRESS");  // never the bus of a desktop this runs on
    }

private:
    std::unique_ptr<ChildProcess> daemon_;
};

// A screen reader's start on the session bus: the AT-SPI bus launcher (which starts the
// bus and its registry), then the reader's switch.
class ScreenReaderBus {
public:
    ScreenReaderBus() : launcher_({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"}) {
        QDBusConnection session = QDBusConnection::sessionBus();
        if (!launcher_.started() || !session.isConnected()) {
            error = "no session bus, or the AT-SPI bus launcher did not start";
            return;
        }
        QElapsedTimer clock;
        clock.start();
        while (!session.interface()->isServiceRegistered("org.a11y.Bus")) {
            if (clock.elapsed() > 10000) {
                error = "the AT-SPI bus did not come up";
                return;
            }
            QThread::msleep(20);
        }
        QDBusMessage set =
            QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set");
        set << QString("org.a11y.Status") << QString("ScreenReaderEnabled") << QVariant::fromValue(QDBusVariant(true));
        if (session.call(set).type() == QDBusMessage::ErrorMessage) error = "the screen reader switch was refused";
    }

    std::string error;

private:
    ChildProcess launcher_;
};
