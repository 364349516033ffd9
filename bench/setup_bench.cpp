// The setup window shown with a large predefined list, and the main window's lists read:
//   QT_QPA_PLATFORM=offscreen build/bench/setup_bench
#include "setup/form3.h"
#include "setup/predefmodel.h"
#include "shell/form1.h"
#include "shell/scriptedpane.h"
#include "shell/windows.h"
#include "platform/dialogs.h"
#include "synthetic.h"

#include <QApplication>
#include <QDir>
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

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
