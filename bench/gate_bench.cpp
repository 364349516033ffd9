// The request gate: one decision at real block-list sizes, and a page of 200 pictures
// loaded from loopback through the real engine, with the gate and the proxy (--gated),
// with an interceptor that lets everything pass (--asked: what the engine's asking costs
// by itself), or with neither; bench/page_bench.sh runs them by turns:
//   QTWEBENGINE_DISABLE_SANDBOX=1 xvfb-run -a build/bench/gate_bench [--gated|--asked]
#include "approval/gate.h"
#include "proxy/proxy.h"
#include "shell/engineargs.h"
#include "shell/requestgate.h"
#include "support/nginx.h"
#include "synthetic.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

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

GateProxy* proxy = nullptr;  // when the engine was started --gated
bool askedOnly = false;      // --asked

class PassesEverything : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo&) override {}
};

// A page of 200 pictures from nginx on loopback (which keeps its connections, as web
// servers do), until the page has loaded, each request decided by the gate and the proxy
// when --gated. The median of the runs counts.
void BM_PageOf200Pictures(benchmark::State& state) {
    const bool gated = proxy != nullptr;
    NginxSite server;
    std::string page = "<html><body>";
    for (int i = 0; i < 200; ++i) {
        server.files.write("p" + std::to_string(i) + ".gif",
                           std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff,"
                                       "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
                                       35));
        page += "<img src='p" + std::to_string(i) + ".gif'>";
    }
    server.files.write("page.html", page + "</body></html>");
    if (!server.start("add_header Cache-Control no-store;")) {
        state.SkipWithError("nginx did not start");
        return;
    }
    const LinkLists& lists = blockList();
    const PlainSettings settings = allOn();
    QWebEngineProfile profile;  // off the record: nothing cached between runs
    RequestGate gate(
        [&](std::string_view address, RequestKind kind) {
            return requestAllowed(address, kind, settings, lists, "/opt/wenlow/");
        },
        [&] { return RulesState{lists.revision(), 0, 15}; });
    PassesEverything nobody;
    if (askedOnly) profile.setUrlRequestInterceptor(&nobody);
    if (gated) {
        gate.setSafeSearch([] { return true; });  // as in a new program folder
        profile.setUrlRequestInterceptor(&gate);
        gate.setPassToken(proxy->passToken());
        proxy->setRules([&gate](const QByteArray& address, bool tunnel) { return gate.allowsAddress(address, tunnel); });
    }
    const QUrl address(QString("http://127.0.0.1:%1/page.html").arg(server.port()));
    int loaded = 0;
    for (auto _ : state) {
        QWebEnginePage web(&profile);
        QEventLoop loop;
        QObject::connect(&web, &QWebEnginePage::loadFinished, &loop, [&](bool ok) {
            loaded += ok;
            loop.quit();
        });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        web.load(address);
        loop.exec();
    }
    if (gated) proxy->setRules({});
    state.counters["loaded"] = static_cast<double>(loaded) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PageOf200Pictures)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> words(argv, argv + argc);
    std::unique_ptr<GateProxy> gatedBy;
    if (argc > 1 && std::strcmp(argv[1], "--asked") == 0) {
        words.erase(words.begin() + 1);
        askedOnly = true;
    } else if (argc > 1 && std::strcmp(argv[1], "--gated") == 0) {
        words.erase(words.begin() + 1);
        gatedBy = std::make_unique<GateProxy>();
        proxy = gatedBy.get();
    }
    int benchCount = static_cast<int>(words.size());
    EngineArguments arguments(words, proxy);
    registerOwnScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(arguments.count(), arguments.values());
    benchmark::Initialize(&benchCount, words.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
