#pragma once
// The same synthetic block list and addresses for every measurement: host names made of
// syllables, so that they share prefixes the way real names do.
#include <cstdint>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

inline std::string syntheticName(std::mt19937_64& rng) {
    static const char* const syllables[] = {"ka", "zu", "mor", "ti", "lex", "pa", "rin", "do", "vel", "sta",
                                            "qu", "ne", "bor", "fi", "gan", "ho", "ju", "wex", "yo", "cri"};
    static const char* const tlds[] = {".com", ".net", ".org", ".info", ".biz", ".xyz", ".io", ".co.uk"};
    std::string name;
    const int parts = 2 + static_cast<int>(rng() % 4);
    for (int i = 0; i < parts; ++i) name += syllables[rng() % 20];
    if (rng() % 3 == 0) name += std::to_string(rng() % 1000);
    if (rng() % 5 == 0) name = std::string(syllables[rng() % 20]) + "." + name;
    return name + tlds[rng() % 8];
}

// n distinct host names.
inline std::vector<std::string> syntheticHosts(size_t n, std::uint64_t seed = 42) {
    std::mt19937_64 rng(seed);
    std::unordered_set<std::string> seen;
    std::vector<std::string> hosts;
    hosts.reserve(n);
    while (hosts.size() < n) {
        std::string h = syntheticName(rng);
        if (seen.insert(h).second) hosts.push_back(std::move(h));
    }
    return hosts;
}

// Addresses to decide: half below listed hosts, half elsewhere.
inline std::vector<std::string> syntheticAddresses(const std::vector<std::string>& hosts, size_t n,
                                                   std::uint64_t seed = 7) {
    std::mt19937_64 rng(seed);
    std::vector<std::string> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const std::string host = i % 2 ? hosts[rng() % hosts.size()] : syntheticName(rng);
        out.push_back((rng() % 2 ? "https://" : "http://") + host + "/page" + std::to_string(rng() % 100) + ".html");
    }
    return out;
}
