// Approval and list loading at real block-list sizes:
//   build/bench/urlok_bench
#include "approval/safesearch.h"
#include "approval/urlok.h"
#include "data/files.h"
#include "platform/text.h"
#include "synthetic.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace {

std::string dataText(const std::vector<std::string>& hosts) {
    std::string text = "HTTP/1.0 200 OK\r\n\r\nstarturls\r\n";
    for (const auto& h : hosts) text += "1http://" + h + "\r\n";
    text += "4http://kids." + hosts[0] + "\r\nmainurls\r\nendurls\r\n";
    return text;
}

const LinkLists& listsOf(size_t n) {
    static std::map<size_t, LinkLists> cache;
    auto it = cache.find(n);
    if (it == cache.end()) {
        LinkLists lists;
        scanDataText(dataText(syntheticHosts(n)), lists);
        it = cache.emplace(n, std::move(lists)).first;
    }
    return it->second;
}

PlainSettings allOn() {
    PlainSettings s;
    s.setup.options.fill(true);
    return s;
}

void BM_Urlok(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    const LinkLists& lists = listsOf(n);
    const PlainSettings s = allOn();
    const auto addresses = syntheticAddresses(syntheticHosts(n), 4096);
    size_t i = 0, refused = 0;
    for (auto _ : state) refused += !urlok(addresses[i++ & 4095], s, lists);
    benchmark::DoNotOptimize(refused);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Urlok)->Arg(1000)->Arg(100000)->Arg(1100000);

// With "Only The Sites I Approve" and the given number of the parent's approved sites
// (a tenth of them whole-site blocks), over 1,100,000 list entries: half the addresses on
// an approved site.
void BM_UrlokParentSites(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    const LinkLists& lists = listsOf(1100000);
    PlainSettings s = allOn();
    const auto sites = syntheticHosts(n, 99);
    SitesValues v;
    v.onlyApproved = true;
    for (size_t i = 0; i < n; ++i) v.entries.push_back({i % 10 ? ParentKind::ApproveSite : ParentKind::BlockSite, sites[i]});
    s.setSites(v);
    const auto addresses = syntheticAddresses(sites, 4096);
    size_t i = 0, refused = 0;
    for (auto _ : state) refused += !urlok(addresses[i++ & 4095], s, lists);
    benchmark::DoNotOptimize(refused);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UrlokParentSites)->Arg(10)->Arg(100)->Arg(1000);

// The safe form looked for, as wenlow-check does for every address with safe search on:
// ordinary addresses (0), searches (1).
void BM_SafeSearchForm(benchmark::State& state) {
    std::vector<std::string> addresses = syntheticAddresses(syntheticHosts(4096), 4096);
    if (state.range(0))
        for (size_t i = 0; i < addresses.size(); ++i)
            addresses[i] = "https://www.google.com/search?q=" + std::to_string(i) + "&safe=off";
    size_t i = 0, changed = 0;
    for (auto _ : state) changed += safeSearchForm(addresses[i++ & 4095]).any();
    benchmark::DoNotOptimize(changed);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SafeSearchForm)->Arg(0)->Arg(1);

// Half the entries domains ("2"), half prefixes, as lists made from domain lists are;
// half the addresses lie below a listed domain or name one.
void BM_UrlokDomains(benchmark::State& state) {
    static const LinkLists lists = [] {
        const auto hosts = syntheticHosts(1100000);
        std::string text = "starturls\r\n";
        for (std::size_t i = 0; i < hosts.size(); ++i) text += (i % 2 ? "2" : "1http://") + hosts[i] + "\r\n";
        text += "mainurls\r\nendurls\r\n";
        LinkLists l;
        scanDataText(text, l);
        return l;
    }();
    const PlainSettings s = allOn();
    auto addresses = syntheticAddresses(syntheticHosts(1100000), 4096);
    for (std::size_t i = 0; i < addresses.size(); i += 4) addresses[i].insert(addresses[i].find("//") + 2, "cdn.");
    size_t i = 0, refused = 0;
    for (auto _ : state) refused += !urlok(addresses[i++ & 4095], s, lists);
    benchmark::DoNotOptimize(refused);
    state.SetItemsProcessed(state.iterations());
    state.counters["refused"] = static_cast<double>(refused) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_UrlokDomains);

// The entry-by-entry scan, as the rules are written.
void BM_UrlokScan(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    const LinkLists& lists = listsOf(n);
    const PlainSettings s = allOn();
    const auto addresses = syntheticAddresses(syntheticHosts(n), 4096);
    size_t i = 0, refused = 0;
    for (auto _ : state) refused += !urlokScan(addresses[i++ & 4095], s, lists);
    benchmark::DoNotOptimize(refused);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UrlokScan)->Arg(1000)->Arg(100000);

// The browser's load of data.dat: read, sorted and indexed (and the index file written
// beside it) when the second argument is 0; from the index file left by an earlier load
// when it is 1. A list of 1,000 entries is too small to be given an index file.
void BM_ReadSetupFromData(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    const bool indexed = state.range(1) != 0;
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    writeFileSafely(folder + "data.dat", dataText(syntheticHosts(n)));
    if (indexed) {
        LinkLists first;
        readDataFile(folder, first);
    }
    for (auto _ : state) {
        if (!indexed) {
            state.PauseTiming();
            std::remove((folder + "data.idx").c_str());
            state.ResumeTiming();
        }
        LinkLists lists;
        std::string work;
        readDataFile(folder, work, lists);
        benchmark::DoNotOptimize(lists.predefined().size());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_ReadSetupFromData)
    ->ArgsProduct({{1000, 100000, 1100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
