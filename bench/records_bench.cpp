// The cost of recording: a page of 200 pictures, every one refused by the request gate,
// loaded through the real engine from nginx on loopback, with the refusals counted and
// recorded (--recording: the journal when one runs, else the bounded file) or not.
// bench/records_bench.sh runs both by turns:
//   QTWEBENGINE_DISABLE_SANDBOX=1 xvfb-run -a build/bench/records_bench [--recording]
#include "approval/gate.h"
#include "records/records.h"
#include "records/tally.h"
#include "shell/requestgate.h"
#include "support/nginx.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

bool recording = false;

void BM_PageOf200RefusedPictures(benchmark::State& state) {
    NginxSite server;
    std::string page = "<html><body>";
    for (int i = 0; i < 200; ++i) page += "<img src='/no/p" + std::to_string(i) + ".gif'>";
    server.files.write("page.html", page + "</body></html>");
    if (!server.start("add_header Cache-Control no-store;")) {
        state.SkipWithError("nginx did not start");
        return;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    LinkLists lists;
    scanDataText("starturls\r\n1" + base + "/no/\r\nmainurls\r\nendurls\r\n", lists);
    PlainSettings settings;
    settings.setup.options.fill(true);
    const auto decide = [&](std::string_view address, RequestKind kind) {
        return requestAllowed(address, kind, settings, lists, "/opt/wenlow/");
    };
    QWebEngineProfile profile;  // off the record: nothing cached between runs
    RequestGate gate(decide, [&] { return RulesState{lists.revision(), 0, 15}; });
    profile.setUrlRequestInterceptor(&gate);
    ProgramFolder folder;
    Records records(openRecordStore(folder.path()));
    RefusalTally tally(records, [&](Record& r) {
        r.pane = "right";
        r.rule = requestVerdict(r.address, RequestKind::Resource, settings, lists, "/opt/wenlow/").rule;
    });
    if (recording)
        gate.setRefusalCounter(
            [&tally](const QUrl& page, const QUrl& address, bool frame) { tally.count(page, address, frame); });
    const QUrl address(QString::fromStdString(base + "/page.html"));
    for (auto _ : state) {
        QWebEnginePage web(&profile);
        QEventLoop loop;
        QObject::connect(&web, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        web.load(address);
        loop.exec();
        tally.flush();  // each page's records made within its load
    }
    records.flush();
    state.counters["records"] = static_cast<double>(records.recent(1000000).size());
}
BENCHMARK(BM_PageOf200RefusedPictures)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> words(argv, argv + argc);
    if (argc > 1 && std::strcmp(argv[1], "--recording") == 0) {
        words.erase(words.begin() + 1);
        recording = true;
    }
    int count = static_cast<int>(words.size());
    registerOwnScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(count, words.data());
    benchmark::Initialize(&count, words.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
