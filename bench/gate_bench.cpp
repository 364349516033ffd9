// The request gate: one decision at real block-list sizes, and a page of 200 pictures
// loaded from loopback through the real engine with and without the gate:
//   QTWEBENGINE_DISABLE_SANDBOX=1 xvfb-run -a build/bench/gate_bench
#include "approval/gate.h"
#include "shell/requestgate.h"
#include "support/httpserver.h"
#include "synthetic.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

PlainSettings allOn() {
    PlainSettings s;
    s.setup.options.fill(true);
    return s;
}

const LinkLists& blockList() {
    static const LinkLists lists = [] {
        LinkLists l;
        std::string text = "starturls\r\n";
        for (const auto& h : syntheticHosts(1100000)) text += "1http://" + h + "\r\n";
        text += "mainurls\r\nendurls\r\n";
        scanDataText(text, l);
        return l;
    }();
    return lists;
}

// As the engine asks: a URL and a kind of request, answered from the live rules. With
// the argument 0 the gate keeps no memory, so each request is a first decision; with 1 it
// remembers, and the same 64 addresses come again and again, as a page's pictures do.
void BM_GateDecision(benchmark::State& state) {
    const bool remembers = state.range(0) != 0;
    const LinkLists& lists = blockList();
    const PlainSettings settings = allOn();
    RequestGate::State rules;
    if (remembers) rules = [&] { return RulesState{lists.revision(), 0, 15}; };
    RequestGate gate(
        [&](std::string_view address, RequestKind kind) {
            return requestAllowed(address, kind, settings, lists, "/opt/wenlow/");
        },
        rules);
    std::vector<QUrl> urls;
    for (const auto& a : syntheticAddresses(syntheticHosts(1100000), 4096)) urls.emplace_back(QString::fromStdString(a));
    const size_t mask = remembers ? 63 : 4095;
    size_t i = 0, dropped = 0;
    for (auto _ : state)
        dropped += gate.decide(urls[i++ & mask], QWebEngineUrlRequestInfo::ResourceTypeImage) != RequestGate::Outcome::Pass;
    benchmark::DoNotOptimize(dropped);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GateDecision)->Arg(0)->Arg(1);

// A page of 200 pictures, each a separate request to loopback, until the page has loaded;
// the argument says whether the gate decides each request. The median of the runs counts.
void BM_PageOf200Pictures(benchmark::State& state) {
    const bool gated = state.range(0) != 0;
    LoopbackHttpServer server;
    QByteArray page = "<html><body>";
    for (int i = 0; i < 200; ++i) {
        const QString path = QString("/p%1.gif").arg(i);
        server.answers[path] = "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\nCache-Control: no-store\r\n"
                               "Content-Length: 35\r\n\r\nGIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff,"
                               "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
        page += "<img src='" + path.toLatin1() + "'>";
    }
    server.page("/page", page + "</body></html>");
    const LinkLists& lists = blockList();
    const PlainSettings settings = allOn();
    QWebEngineProfile profile;  // off the record: nothing cached between runs
    RequestGate gate(
        [&](std::string_view address, RequestKind kind) {
            return requestAllowed(address, kind, settings, lists, "/opt/wenlow/");
        },
        [&] { return RulesState{lists.revision(), 0, 15}; });
    if (gated) profile.setUrlRequestInterceptor(&gate);
    for (auto _ : state) {
        QWebEnginePage web(&profile);
        QEventLoop loop;
        QObject::connect(&web, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        web.load(QUrl(server.url("/page")));
        loop.exec();
    }
    state.counters["requests"] = static_cast<double>(server.requested.size()) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PageOf200Pictures)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    registerOwnScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
