#pragma once
// Published lists fetched over https with libcurl: the system's certificates, redirects
// followed (to https only), compressed answers accepted, and only what changed since
// the version last fetched. Tests give libcurl their own authority's certificate in the
// environment variable WENLOW_TEST_CA (a PEM file).
#include <cstdint>
#include <functional>
#include <string>

struct FetchLimits {
    std::uint64_t maxBytes = 256ull << 20;  // of the list as it is stored, decompressed
    long timeLimit = 600;                   // seconds for one list in all
    long silenceLimit = 60;                 // seconds without a byte, the connection included
};

struct FetchResult {
    enum class Outcome { Fetched, NotChanged, Failed };
    Outcome outcome = Outcome::Failed;
    std::string problem;             // why it failed
    std::string etag, lastModified;  // the server's names for the version fetched
    std::uint64_t bytes = 0;         // stored
};

class Fetcher {
public:
    explicit Fetcher(const FetchLimits& limits);
    ~Fetcher();
    Fetcher(const Fetcher&) = delete;
    Fetcher& operator=(const Fetcher&) = delete;

    // Fetches an https address into the file `into`, made anew (and removed unless the
    // outcome is Fetched). With an ETag or a Last-Modified time of the copy at hand, the
    // server is asked for the list only when it has changed since.
    FetchResult fetch(const std::string& address, const std::string& etag, const std::string& lastModified,
                      const std::string& into);

    // Bytes come in (as sent: compressed when the answer is), and how many the server
    // announced (0 when it did not).
    std::function<void(std::uint64_t received, std::uint64_t total)> onProgress;

private:
    void* curl_;
    FetchLimits limits_;
};
