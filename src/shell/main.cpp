#include "data/programdir.h"
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "records/records.h"
#include "shell/form1.h"
#include "shell/proxy.h"
#include "shell/requestgate.h"
#include "shell/webpane.h"
#include "shell/windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <QWebEngineProfile>

#include <cstdio>
#include <cstring>
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

// The engine takes switches from the command line and the environment; none of them may
// open a way around the rules (a remote inspector, say). The program's own words stay.
std::vector<char*> withoutEngineSwitches(int argc, char** argv) {
    qunsetenv("QTWEBENGINE_REMOTE_DEBUGGING");
    qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    std::vector<char*> kept{argv[0]};
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--", 2) != 0) kept.push_back(argv[i]);
    return kept;
}

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
    // By its full path, as the engine names the files in it.
    const QString chosenFolder = QFileInfo(QString::fromLocal8Bit(words.dir.c_str())).canonicalFilePath();
    if (!words.dir.empty() && (chosenFolder.isEmpty() || !QFileInfo(chosenFolder).isDir())) {
        std::fprintf(stderr, "wenlow: the program folder %s is not there\n", words.dir.c_str());
        return 2;
    }
    // The engine's plain-web requests go through the proxy, which asks the same rules.
    GateProxy proxy;
    if (!proxy.listening())
        std::fputs("wenlow: the request proxy could not start; a redirected picture or script may reach a refused "
                   "address before it is stopped\n",
                   stderr);
    EngineArguments arguments(withoutEngineSwitches(argc, argv), &proxy);
    registerOwnScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(arguments.count(), arguments.values());
    nameApplication();

    QtDialogs dialogs;
    setApplicationErrorSink([&dialogs](const std::string& text) { dialogs.errorBox(text); });

    std::string programDir = words.dir.empty() ? defaultProgramFolder(toAnsi(QCoreApplication::applicationDirPath()))
                                               : toAnsi(chosenFolder);
    if (programDir.back() != '/') programDir += '/';
    // Both panes share the default profile, and every request of it meets the rules of
    // the main window; until that exists, nothing passes.
    const TForm1* rules = nullptr;
    ProtectedProfile profile(
        QWebEngineProfile::defaultProfile(),
        [&rules](std::string_view address, RequestKind kind) { return rules && rules->allows(address, kind); },
        [&rules] { return rules ? rules->rulesState() : RulesState{}; }, dialogs, &proxy);
    // Refusals and requests: to the journal where one runs, else to a file in the folder.
    Records records(openRecordStore(programDir));
    ProgramWindows windows =
        createWindows(dialogs, programDir, words.rest,
                      [&profile](QWidget* parent) -> BrowserPane* { return new WebEnginePane(parent, &profile.gate()); },
                      &records);
    rules = windows.form1.get();
    profile.gate().setRefusalCounter([&windows](const QUrl& page, const QUrl& address, bool frame) {
        if (windows.form1) windows.form1->countRefused(page, address, frame);
    });
    profile.gate().setSafeSearch([&rules] { return rules && rules->safeSearch(); });

    const QString shot = qEnvironmentVariable("WENLOW_SCREENSHOT");
    if (!shot.isEmpty()) screenshotOnFirstPage(*windows.form1, shot, clock);

    windows.form1->show();
    activateWhenShown(*windows.form1);
    return app.exec();
}
