#include "tools/fetch.h"

#include "platform/errors.h"

#include <curl/curl.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#ifndef WENLOW_VERSION
#define WENLOW_VERSION ""
#endif

namespace {

struct Transfer {
    std::FILE* file = nullptr;
    std::uint64_t stored = 0, maxBytes = 0;
    bool tooLarge = false, writeFailed = false;
    const std::function<void(std::uint64_t, std::uint64_t)>* progress = nullptr;
};

std::size_t store(char* data, std::size_t size, std::size_t n, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * n;
    if (t.stored + bytes > t.maxBytes) {
        t.tooLarge = true;
        return 0;  // ends the transfer
    }
    if (std::fwrite(data, 1, bytes, t.file) != bytes) {
        t.writeFailed = true;
        return 0;
    }
    t.stored += bytes;
    return bytes;
}

int progress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    const auto& t = *static_cast<Transfer*>(user);
    if (t.progress && *t.progress) (*t.progress)(static_cast<std::uint64_t>(now), static_cast<std::uint64_t>(total));
    return 0;
}

std::string header(CURL* curl, const char* name) {
    curl_header* h = nullptr;
    if (curl_easy_header(curl, name, 0, CURLH_HEADER, -1, &h) != CURLHE_OK) return {};
    return h->value;
}

bool closeFile(std::FILE* f) {
    const bool flushed = std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0;
    return std::fclose(f) == 0 && flushed;
}

}  // namespace

Fetcher::Fetcher(const FetchLimits& limits) : limits_(limits) {
    static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    curl_ = started ? curl_easy_init() : nullptr;
    if (!curl_) throw Exception("The https library cannot start");
}

Fetcher::~Fetcher() { curl_easy_cleanup(static_cast<CURL*>(curl_)); }

FetchResult Fetcher::fetch(const std::string& address, const std::string& etag, const std::string& lastModified,
                           const std::string& into) {
    CURL* curl = static_cast<CURL*>(curl_);
    FetchResult result;
    Transfer t;
    t.maxBytes = limits_.maxBytes;
    t.progress = &onProgress;
    t.file = std::fopen(into.c_str(), "wb");
    if (!t.file) {
        result.problem = "Cannot create file " + into;
        return result;
    }
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, curl_slist_free_all);
    auto ask = [&](const std::string& line) { headers.reset(curl_slist_append(headers.release(), line.c_str())); };
    if (!etag.empty()) ask("If-None-Match: " + etag);
    if (!lastModified.empty()) ask("If-Modified-Since: " + lastModified);
    char error[CURL_ERROR_SIZE] = "";

    curl_easy_reset(curl);  // keeps the connections, for more lists from the same server
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // every encoding libcurl can undo
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "wenlow-lists/" WENLOW_VERSION);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, limits_.timeLimit);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits_.silenceLimit);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits_.silenceLimit);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.maxBytes));
    if (const char* ca = std::getenv("WENLOW_TEST_CA"); ca && *ca) {  // that authority alone
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca);
        curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, store);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, onProgress ? 0L : 1L);

    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    // The handle outlives this call's header list and error buffer.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    const bool closed = closeFile(t.file);
    const bool conditional = !etag.empty() || !lastModified.empty();
    if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
        result.problem = "the list is larger than " + std::to_string(limits_.maxBytes) + " bytes";
    else if (t.writeFailed || (code == CURLE_OK && !closed))
        result.problem = "Cannot write file " + into;
    else if (code != CURLE_OK)
        result.problem = *error ? error : curl_easy_strerror(code);
    else if (status == 304 && conditional)
        result.outcome = FetchResult::Outcome::NotChanged;
    else if (status != 200)
        result.problem = "the server answered with status " + std::to_string(status);
    else
        result.outcome = FetchResult::Outcome::Fetched;
    if (result.outcome == FetchResult::Outcome::Fetched) {
        result.etag = header(curl, "ETag");
        result.lastModified = header(curl, "Last-Modified");
        result.bytes = t.stored;
    } else {
        std::remove(into.c_str());
    }
    return result;
}
