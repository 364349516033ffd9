// How long the main window does not answer while "Update Now" downloads, checks and
// indexes a list: the longest gap between ticks of a 5 ms timer, and the whole time.
//   QT_QPA_PLATFORM=offscreen build/bench/window_gap FOLDER PORT
// FOLDER is a program folder; the list is fetched from lists.bench.invalid/list.dat,
// which leads to 127.0.0.1:PORT.
#include "platform/dialogs.h"
#include "platform/winsock.h"
#include "setup/form3.h"
#include "shell/form1.h"
#include "shell/scriptedpane.h"
#include "shell/windows.h"
#include "update/download.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

class NoDialogs : public Dialogs {
public:
    void messageBox(const std::string& text, const std::string&) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void errorBox(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    std::optional<std::string> openPicture(const std::string&) override { return std::nullopt; }
    void showHelp(const std::string&, int) override {}
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_gap FOLDER PORT\n");
        return 2;
    }
    wsock::AddTestRoute("lists.bench.invalid", 80, static_cast<std::uint16_t>(std::atoi(argv[2])));
    NoDialogs dialogs;
    std::string folder = argv[1];
    if (folder.back() != '/') folder += '/';
    ProgramWindows w = createWindows(dialogs, folder, {"PARENT"}, [](QWidget* p) -> BrowserPane* { return new ScriptedPane(p); });
    w.form1->FormActivate();
    w.form3->RadioButton2->setChecked(true);
    w.form3->Edit11->setText("lists.bench.invalid/list.dat");

    bool ended = false, stored = false;
    w.form1->download().onEnded = [&](bool ok, const std::string& outcome) {
        ended = true;
        stored = ok;
        if (!ok) std::fprintf(stderr, "not stored: %s\n", outcome.c_str());
    };
    QElapsedTimer clock, sinceTick;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.restart());
        if (ended) app.quit();
    });
    clock.start();
    sinceTick.start();
    tick.start();
    QTimer::singleShot(0, [&] { w.form3->Button5Click(); });
    app.exec();
    std::printf("download, check and index: %.2f s; longest time the window did not answer: %lld ms%s\n",
                static_cast<double>(clock.elapsed()) / 1000.0, static_cast<long long>(longest),
                stored ? "" : " (not stored)");
    return stored ? 0 : 1;
}
