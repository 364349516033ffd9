#include "data/programdir.h"
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "proxy/proxy.h"
#include "records/records.h"
#include "shell/access.h"
#include "shell/browser.h"
#include "shell/engineargs.h"
#include "shell/form1.h"
#include "shell/requestgate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProcessEnvironment>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// WENLOW_SCREENSHOT=FILE: once the first list page has loaded, save a picture of the
// main window, print how long the start took, and end. For set-up checks without a
// screen and for start-up measurements.
void screenshotOnFirstPage(TForm1& form, const QString& file, const QElapsedTimer& clock) {
    auto previous = form.WebBrowser1->NavigateComplete;
    form.WebBrowser1->NavigateComplete = [&form, file, &clock, previous, done = false](const QString& url) mutable {
        if (previous) previous(url);
        if (done) return;
        done = true;
        std::printf("first list page loaded after %lld ms: %s\n", static_cast<long long>(clock.elapsed()),
                    url.toLocal8Bit().constData());
        QTimer::singleShot(1500, &form, [&form, file] {
            const QPixmap shot = form.screen()->grabWindow(0, form.frameGeometry().x(), form.frameGeometry().y(),
                                                           form.frameGeometry().width(), form.frameGeometry().height());
            std::printf("screenshot saved to %s\n", shot.save(file) ? file.toLocal8Bit().constData() : "(failed)");
            std::fflush(stdout);
            QApplication::quit();
        });
    };
}

// Without a window manager nothing activates a new window, and the start-up runs at
// the first activation: ask for it until the window is active (the X server ignores
// early requests that carry a stale time).
void activateWhenShown(QWidget& window) {
    auto* retry = new QTimer(&window);
    retry->setInterval(100);
    QObject::connect(retry, &QTimer::timeout, &window, [&window, retry, tries = 0]() mutable {
        if (window.isActiveWindow() || ++tries > 50) {
            retry->deleteLater();
            return;
        }
        window.activateWindow();
    });
    retry->start();
}

const char* const Usage =
    "usage: wenlow [--dir DIR] [PARENT]\n"
    "Wenlow Explorer, a web browser for children with parental controls.\n"
    "  --dir DIR   the program folder: settings, lists, list pages, pictures\n"
    "              (default: the folder of this program)\n"
    "  PARENT      enables \"Parent Setup\" in the File menu (any letter case)\n"
    "  --help      this text;  --version  the version\n";

// The program's own words: what is asked of it before a window can be made, and the
// program folder. The rest of the words stay for the main window.
struct Words {
    bool help = false, version = false;
    std::string dir, error;
    QStringList rest;
};

Words programWords(int argc, char** argv) {
    Words w;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h")
            w.help = true;
        else if (a == "--version")
            w.version = true;
        else if (a == "--dir" && i + 1 < argc)
            w.dir = argv[++i];
        else if (a.rfind("--dir=", 0) == 0)
            w.dir = a.substr(6);
        else if (a == "--dir")
            w.error = "--dir takes a folder";
        else if (a.rfind("--", 0) != 0)
            w.rest << QString::fromLocal8Bit(argv[i]);
    }
    return w;
}

// The engine and Qt take switches from the environment too; none of them may open a way
// around the rules (a remote inspector, say). Where the account must run on the system's
// rules, nothing may load code or the engine's parts from a folder of its choosing either.
void closeEnvironment(bool restricted) {
    qunsetenv("QTWEBENGINE_REMOTE_DEBUGGING");
    qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!restricted) return;
    qunsetenv("QT_PLUGIN_PATH");
    qunsetenv("QT_QPA_PLATFORM_PLUGIN_PATH");
    // The engine's process, resources, locales and dictionaries; its sandbox switch stays,
    // as it opens nothing past the rules and some machines cannot run the sandbox.
    QStringList engine;
    for (const QString& v : QProcessEnvironment::systemEnvironment().keys())
        if (v.startsWith("QTWEBENGINE") && v != "QTWEBENGINE_DISABLE_SANDBOX") engine << v;
    for (const QString& v : engine) qunsetenv(v.toLocal8Bit().constData());
}

const char* const SystemRulesText = "The settings and lists of /var/lib/wenlow/ are used: only a parent's account "
                                    "(a member of the group wenlow-parents) can choose another program folder.";

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    // Answered without a display.
    const Words words = programWords(argc, argv);
    if (words.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (words.version) {
        std::printf("Wenlow Explorer %s\n", WENLOW_VERSION);
        return 0;
    }
    if (!words.error.empty()) {
        std::fprintf(stderr, "wenlow: %s\n%s", words.error.c_str(), Usage);
        return 2;
    }
    // Where a system folder holds the family's rules, an account that is not a parent's
    // runs on them, whatever folder it names or the program is copied beside.
    const bool restricted = !mayChooseProgramFolder();
    closeEnvironment(restricted);
    std::string programDir;
    bool overruled = false;  // the account asked for other rules and is told once
    if (restricted) {
        programDir = SystemFolder;
        std::error_code ec;
        const std::filesystem::path own = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
        overruled = !words.dir.empty() || std::filesystem::exists(own / "setup.dat", ec);
        if (overruled) std::fprintf(stderr, "wenlow: %s\n", SystemRulesText);
    } else if (!words.dir.empty()) {
        // By its full path, as the engine names the files in it.
        const QString chosen = QFileInfo(QString::fromLocal8Bit(words.dir.c_str())).canonicalFilePath();
        if (chosen.isEmpty() || !QFileInfo(chosen).isDir()) {
            std::fprintf(stderr, "wenlow: the program folder %s is not there\n", words.dir.c_str());
            return 2;
        }
        programDir = toAnsi(chosen);
    }
    // The engine's plain-web requests go through the proxy, which asks the same rules. It
    // is made before the application object, as its port goes into the engine's words; it
    // holds nothing of that object once the browser below is gone (its rules, and the
    // notifier that brings it their answers, go with the browser's profile).
    GateProxy proxy;
    if (!proxy.listening())
        std::fputs("wenlow: the request proxy could not start; a redirected picture or script may reach a refused "
                   "address before it is stopped\n",
                   stderr);
    EngineArguments arguments({argv, argv + argc}, &proxy);
    registerOwnScheme();
    enablePageAccessibility();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(arguments.count(), arguments.values());
    nameApplication();

    QtDialogs dialogs;
    setApplicationErrorSink([&dialogs](const std::string& text) { dialogs.errorBox(text); });

    if (programDir.empty()) programDir = defaultProgramFolder(toAnsi(QCoreApplication::applicationDirPath()));
    if (programDir.back() != '/') programDir += '/';
    // Refusals and requests: to the journal where one runs, else to a file in the folder.
    Records records(openRecordStore(programDir));
    Browser browser(dialogs, programDir, words.rest, &proxy, &records);
    TForm1& form1 = browser.form1();
    if (overruled) form1.Panel2->setText(SystemRulesText);

    const QString shot = qEnvironmentVariable("WENLOW_SCREENSHOT");
    if (!shot.isEmpty()) screenshotOnFirstPage(form1, shot, clock);

    form1.show();
    activateWhenShown(form1);
    return app.exec();
}
