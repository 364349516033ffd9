#include "platform/dialogs.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "shell/form1.h"
#include "shell/requestgate.h"
#include "shell/webpane.h"
#include "shell/windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTimer>
#include <QWebEngineProfile>

#include <cstdio>
#include <cstring>
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

// The engine takes switches from the command line and the environment; none of them may
// open a way around the rules (a remote inspector, say). The program's own words stay.
std::vector<char*> withoutEngineSwitches(int argc, char** argv) {
    qunsetenv("QTWEBENGINE_REMOTE_DEBUGGING");
    qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    std::vector<char*> kept{argv[0]};
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--", 2) != 0) kept.push_back(argv[i]);
    kept.push_back(nullptr);
    return kept;
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    std::vector<char*> arguments = withoutEngineSwitches(argc, argv);
    int count = static_cast<int>(arguments.size()) - 1;
    registerOwnScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(count, arguments.data());
    QApplication::setApplicationName("Wenlow Explorer");
    QApplication::setApplicationDisplayName("Wenlow Explorer");

    QtDialogs dialogs;
    setApplicationErrorSink([&dialogs](const std::string& text) { dialogs.errorBox(text); });

    const std::string programDir = toAnsi(QCoreApplication::applicationDirPath()) + "/";
    // Both panes share the default profile, and every request of it meets the rules of
    // the main window; until that exists, nothing passes.
    const TForm1* rules = nullptr;
    ProtectedProfile profile(
        QWebEngineProfile::defaultProfile(),
        [&rules](const std::string& address, RequestKind kind) { return rules && rules->allows(address, kind); },
        [&rules] { return rules ? rules->rulesState() : RulesState{}; }, dialogs);
    ProgramWindows windows =
        createWindows(dialogs, programDir, app.arguments().mid(1),
                      [&profile](QWidget* parent) -> BrowserPane* { return new WebEnginePane(parent, &profile.gate()); });
    rules = windows.form1.get();

    const QString shot = qEnvironmentVariable("WENLOW_SCREENSHOT");
    if (!shot.isEmpty()) screenshotOnFirstPage(*windows.form1, shot, clock);

    windows.form1->show();
    activateWhenShown(*windows.form1);
    return app.exec();
}
