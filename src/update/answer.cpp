#include "update/answer.h"

#include "data/files.h"
#include "data/indexfile.h"
#include "platform/text.h"
#include "update/signature.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

#include <unistd.h>

UpdateSource parseUpdateAddress(std::string text) {
    const size_t start = text.find_first_not_of("/ ");
    text.erase(0, start == std::string::npos ? text.size() : start);
    if (text.size() > 6 && upperAZ(text.substr(0, 7)) == "HTTP://") text.erase(0, 7);
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return {text, "/"};
    return {text.substr(0, slash), text.substr(slash)};
}

namespace {

bool isLineEnd(char c) { return static_cast<unsigned char>(c) < 32; }

// The value of a header of the block (its lines without the status line), or nothing.
std::optional<std::string_view> headerValue(std::string_view headers, std::string_view upperName) {
    while (!headers.empty()) {
        const size_t eol = std::min(headers.find('\n'), headers.size());
        std::string_view line = headers.substr(0, eol);
        headers.remove_prefix(std::min(eol + 1, headers.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || upperAZ(std::string(line.substr(0, colon))) != upperName) continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
        return value;
    }
    return std::nullopt;
}

// The section keywords as the list reader finds them: whole lines, in this order.
bool hasSections(std::string_view text) {
    const std::string_view keywords[] = {"starturls", "mainurls", "endurls"};
    size_t next = 0;
    size_t start = 0;
    for (size_t i = 0; i <= text.size() && next < 3; ++i) {
        if (i < text.size() && !isLineEnd(text[i])) continue;
        if (text.substr(start, i - start) == keywords[next]) ++next;
        start = i + 1;
    }
    return next == 3;
}

}  // namespace

namespace {

// Where the header block of an answer ends and its body begins; npos when the block is
// not whole.
std::size_t bodyStart(std::string_view answer) {
    const std::size_t crlf = answer.find("\r\n\r\n");
    const std::size_t lf = answer.find("\n\n");
    if (lf != std::string_view::npos && (crlf == std::string_view::npos || lf < crlf)) return lf + 2;
    return crlf == std::string_view::npos ? crlf : crlf + 4;
}

}  // namespace

std::string_view answerBody(std::string_view answer) {
    const std::size_t at = bodyStart(answer);
    return at == std::string_view::npos ? answer : answer.substr(at);
}

std::int64_t announcedLength(std::string_view head) {
    const std::size_t at = bodyStart(head);
    if (at == std::string_view::npos) return -1;
    const std::size_t statusEnd = head.find('\n');
    const auto length = headerValue(head.substr(statusEnd + 1, at - statusEnd - 1), "CONTENT-LENGTH");
    std::uint64_t n = 0;
    if (!length || std::from_chars(length->data(), length->data() + length->size(), n).ec != std::errc()) return -1;
    return static_cast<std::int64_t>(at + n);
}

std::string answerProblem(std::string_view answer) {
    if (!startsWith(answer, "HTTP/")) return "The answer has no status line";
    const size_t statusEnd = answer.find('\n');
    if (statusEnd == std::string_view::npos) return "The answer ended inside its status line";
    std::string_view status = answer.substr(0, statusEnd);
    if (!status.empty() && status.back() == '\r') status.remove_suffix(1);
    const size_t space = status.find(' ');
    const std::string_view code = space == std::string_view::npos ? std::string_view() : status.substr(space + 1, 3);
    if (code.size() != 3 || !std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        (status.size() > space + 4 && status[space + 4] != ' '))
        return "The answer's status line is not understood: " + std::string(status);
    if (code[0] != '2') return std::string(status);

    const std::size_t start = bodyStart(answer);
    if (start == std::string_view::npos || start <= statusEnd) return "The answer ended inside its headers";
    const std::string_view headers = answer.substr(statusEnd + 1, start - statusEnd - 1);
    const std::string_view body = answer.substr(start);
    if (const auto length = headerValue(headers, "CONTENT-LENGTH")) {
        std::uint64_t announced = 0;
        const auto [end, ec] = std::from_chars(length->data(), length->data() + length->size(), announced);
        if (ec != std::errc() || end != length->data() + length->size() || length->empty())
            return "The answer's Content-Length is not a number: " + std::string(*length);
        if (announced != body.size())
            return "The answer's body has " + std::to_string(body.size()) + " bytes, not the " +
                   std::to_string(announced) + " its Content-Length announced";
    }
    if (!hasSections(body.substr(0, body.find('\0'))))
        return "The answer is not a list: it lacks starturls, mainurls and endurls";
    return {};
}

PreparedList prepareList(const std::string& file, const std::string& publicKey, const std::string& indexPath) {
    PreparedList p;
    std::string bytes = readFileBytes(file);
    p.problem = answerProblem(bytes);
    if (p.problem.empty() && !publicKey.empty()) p.problem = signatureProblem(answerBody(bytes), publicKey);
    if (!p.problem.empty()) return p;
    // data.dat holds the answer up to its first zero byte.
    if (const std::size_t zero = bytes.find('\0'); zero != std::string::npos) {
        bytes.resize(zero);
        if (::truncate(file.c_str(), static_cast<off_t>(zero)) != 0) {
            p.problem = "Cannot create file " + file;
            return p;
        }
    }
    scanDataText(bytes, p.lists);
    if (bytes.size() >= IndexedFileSize)
        writeIndexFile(indexPath, bytes, p.lists);
    else
        removeIndexFile(indexPath);
    p.text = std::move(bytes);
    return p;
}
