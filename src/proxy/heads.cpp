#include "proxy/heads.h"

#include "platform/text.h"

#include <vector>

namespace relay {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool isToken(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letter && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) return false;
    }
    return true;
}

// Calls each(token) for the comma-separated tokens of a header value.
template <typename F>
void forEachToken(std::string_view value, F each) {
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        if (const std::string_view t = trimmed(value.substr(0, comma)); !t.empty()) each(t);
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
}

struct Field {
    std::string name, value;
    bool named = false;  // a name the engine takes; the others are skipped, as it skips them
};

}  // namespace

std::size_t headEnd(std::string_view buf) {
    char last = '\0';
    bool afterLf = false;
    for (std::size_t i = 0; i < buf.size(); ++i) {
        const char c = buf[i];
        if (c == '\n') {
            if (afterLf) return i + 1;
            afterLf = true;
        } else if (c != '\r' || last != '\n') {
            afterLf = false;
        }
        last = c;
    }
    return std::string_view::npos;
}

Head readHead(std::string_view head, std::string_view passHeader) {
    Head h;
    if (head.find('\0') != std::string_view::npos) return h;
    // Lines end at any run of CR and LF; a line starting with a space goes on the header
    // before it, when that one could be continued.
    std::vector<Field> fields;
    bool startLine = true, continuable = false;
    while (!head.empty()) {
        const std::size_t end = head.find_first_of("\r\n");
        const std::string_view line = head.substr(0, end);
        head.remove_prefix(end == std::string_view::npos ? head.size() : end);
        while (!head.empty() && (head.front() == '\r' || head.front() == '\n')) head.remove_prefix(1);
        if (line.empty()) continue;
        if (startLine) {
            startLine = false;
            const std::size_t sp1 = line.find(' ');
            if (sp1 == std::string_view::npos) return h;
            const std::size_t sp2 = line.find(' ', sp1 + 1);
            h.first = line.substr(0, sp1);
            h.second = line.substr(sp1 + 1, sp2 == std::string_view::npos ? std::string_view::npos : sp2 - sp1 - 1);
            if (sp2 != std::string_view::npos) h.rest = line.substr(sp2 + 1);
            continue;
        }
        if (isSpace(line.front())) {
            if (continuable) fields.back().value.append(" ").append(trimmed(line));
            continue;
        }
        const std::size_t colon = line.find(':');
        continuable = colon != std::string_view::npos && colon > 0;
        if (!continuable) continue;
        Field f;
        f.name = trimmed(line.substr(0, colon));
        f.named = isToken(f.name);
        f.value = line.substr(colon + 1);
        fields.push_back(std::move(f));
    }
    h.valid = !h.first.empty() && !h.second.empty();

    unsigned codings = 0;
    for (Field& f : fields) {
        if (!f.named) continue;
        const std::string_view name = f.name, value = trimmed(f.value);
        if (equalsNoCase(name, passHeader)) {
            h.pass = value;
        } else if (equalsNoCase(name, "Connection") || equalsNoCase(name, "Proxy-Connection")) {
            forEachToken(value, [&](std::string_view t) {
                h.close = h.close || equalsNoCase(t, "close");
                h.keepAlive = h.keepAlive || equalsNoCase(t, "keep-alive");
                h.upgrade = h.upgrade || equalsNoCase(t, "upgrade");
            });
        } else if (equalsNoCase(name, "Keep-Alive")) {
        } else if (equalsNoCase(name, "Transfer-Encoding")) {
            h.hasEncoding = true;
            forEachToken(value, [&](std::string_view t) {
                ++codings;
                h.chunked = codings == 1 && equalsNoCase(t, "chunked");
            });
        } else if (equalsNoCase(name, "Content-Length")) {
            unsigned long long n = 0;
            bool digits = !value.empty() && value.size() <= 18;
            for (const char c : value) {
                if (c < '0' || c > '9') digits = false;
                n = n * 10 + static_cast<unsigned>(c - '0');
            }
            if (!digits || (h.hasLength && n != h.length)) h.badLength = true;
            h.hasLength = true;
            h.length = n;
        } else {
            h.hasUpgrade = h.hasUpgrade || equalsNoCase(name, "Upgrade");
            h.kept.append(name).append(": ").append(value).append("\r\n");
        }
    }
    return h;
}

bool requestBody(const Head& request, Body& body) {
    if (request.badLength || (request.hasEncoding && (!request.chunked || request.hasLength))) return false;
    body = request.chunked ? Body{Body::Chunked} : request.hasLength ? Body{Body::Length, request.length} : Body{};
    return true;
}

bool answerBody(const Head& answer, std::string_view method, Body& body) {
    if (method == "HEAD" || answer.second == "204" || answer.second == "304") {
        body = {};
        return true;
    }
    if (answer.hasEncoding) {
        // Chunked is the one coding both read; an HTTP/1.0 answer cannot use it.
        if (!answer.chunked || equalsNoCase(answer.first, "HTTP/1.0")) return false;
        body = {Body::Chunked};
        return true;
    }
    if (answer.badLength) return false;
    body = answer.hasLength ? Body{Body::Length, answer.length} : Body{Body::UntilClose};
    return true;
}

std::string framing(const Body& body, const Head& head) {
    switch (body.kind) {
    case Body::Length: return "Content-Length: " + std::to_string(body.length) + "\r\n";
    case Body::Chunked: return "Transfer-Encoding: chunked\r\n";
    case Body::None:
        return head.hasLength && !head.badLength ? "Content-Length: " + std::to_string(head.length) + "\r\n" : "";
    case Body::UntilClose: return "";
    }
    return "";
}

}  // namespace relay
