// The setup window shown with a large predefined list, the main window's lists read, and
// the predefined list's filter:
//   QT_QPA_PLATFORM=offscreen build/bench/setup_bench
#include "setup/form3.h"
#include "setup/predefmodel.h"
#include "shell/form1.h"
#include "shell/scriptedpane.h"
#include "shell/windows.h"
#include "platform/dialogs.h"
#include "platform/text.h"
#include "synthetic.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>

namespace {

class NoDialogs : public Dialogs {
public:
    void messageBox(const std::string&, const std::string&) override {}
    void errorBox(const std::string&) override {}
    std::optional<std::string> openPicture(const std::string&) override { return std::nullopt; }
    void showHelp(const std::string&, int) override {}
};

void BM_SetupWindowShown(benchmark::State& state) {
    QTemporaryDir dir;
    const QDir sample(WENLOW_SAMPLE_DIR);
    for (const QString& name : sample.entryList(QDir::Files)) QFile::copy(sample.filePath(name), dir.filePath(name));
    {
        std::ofstream data(dir.filePath("data.dat").toStdString(), std::ios::binary);
        data << "starturls\r\n";
        for (const auto& h : syntheticHosts(static_cast<size_t>(state.range(0)))) data << "1http://" << h << "\r\n";
        data << "mainurls\r\nendurls\r\n";
    }
    NoDialogs dialogs;
    ProgramWindows w = createWindows(dialogs, dir.path().toStdString() + "/", {"PARENT"},
                                     [](QWidget* p) -> BrowserPane* { return new ScriptedPane(p); });
    w.form1->FormActivate();
    for (auto _ : state) {
        w.form3->show();  // the load runs
        QApplication::processEvents();
        state.PauseTiming();
        if (w.form3->predefModel->rowCount() != state.range(0)) state.SkipWithError("list not shown");
        w.form3->hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SetupWindowShown)->Arg(1100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// A text typed into the predefined list's filter box, searched for among 1,100,000 entries
// until the rows change; the window's longest pause is one slice of the search.
void BM_PredefFilter(benchmark::State& state) {
    PredefModel model;
    TextList entries;
    for (const auto& h : syntheticHosts(1100000)) entries.push_back("1HTTP://" + upperAZ(h));
    entries.sort();
    model.setEntries(std::move(entries));
    qint64 longest = 0;
    int n = 0;
    for (auto _ : state) {
        model.setFilter(++n % 2 ? "kazu" : "mor.net");
        QElapsedTimer pause;
        while (model.searching()) {
            pause.start();
            QCoreApplication::processEvents();
            longest = std::max(longest, pause.nsecsElapsed());
        }
    }
    state.counters["longest_pause_ms"] = static_cast<double>(longest) / 1e6;
    state.counters["rows"] = model.rowCount();
}
BENCHMARK(BM_PredefFilter)->Unit(benchmark::kMillisecond)->Iterations(6);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
