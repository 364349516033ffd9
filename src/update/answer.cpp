#include "update/answer.h"

#include "data/files.h"
#include "data/indexfile.h"
#include "platform/text.h"
#include "update/signature.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

#include <unistd.h>

UpdateSource parseUpdateAddress(std::string text) {
    const size_t start = text.find_first_not_of("/ ");
    text.erase(0, start == std::string::npos ? text.size() : start);
    if (text.size() > 6 && upperAZ(text.substr(0, 7)) == "HTTP://") text.erase(0, 7);
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return {text, "/"};
    return {text.substr(0, slash), text.substr(slash)};
}

std::string updateAddressProblem(const std::string& typed) {
    const std::string plain = "Lists are fetched with plain http on port 80";
    const UpdateSource source = parseUpdateAddress(typed);
    const std::string& host = source.host;
    const std::string quoted = "\"" + typed.substr(std::min(typed.find_first_not_of("/ "), typed.size())) + "\"";
    // Another scheme ("https://..."), which is then taken for the host.
    if (host.size() > 1 && host.back() == ':' &&
        std::all_of(host.begin(), host.end() - 1, [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }))
        return plain + "; " + quoted + " cannot be used: give the list's plain http address (host/path), " +
               "and have the list signed so that no one on the way can change it";
    if (host.find('@') != std::string::npos)
        return plain + ", without a user name; " + quoted + " cannot be used: give the address as host/path";
    if (host.find_first_of("[]") != std::string::npos)
        return plain + " over IPv4; " + quoted + " cannot be used: give the server's name or IPv4 address";
    if (host.find(':') != std::string::npos)
        return plain + "; the port in " + quoted + " cannot be used: serve the list on port 80 and give " +
               "its address without a port";
    return {};
}

namespace {

bool isLineEnd(char c) { return static_cast<unsigned char>(c) < 32; }

// What the server sent, as it may be shown or logged: no control characters.
std::string printable(std::string_view text) {
    std::string out(text);
    std::replace_if(out.begin(), out.end(), isLineEnd, '?');
    return out;
}

// The values of a header in the block (its lines without the status line).
std::vector<std::string_view> headerValues(std::string_view headers, std::string_view upperName) {
    std::vector<std::string_view> values;
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
        values.push_back(value);
    }
    return values;
}

std::optional<std::string_view> headerValue(std::string_view headers, std::string_view upperName) {
    const auto values = headerValues(headers, upperName);
    if (values.empty()) return std::nullopt;
    return values.front();
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

std::string_view answerBody(std::string_view answer) {
    const std::size_t at = headEnd(answer);
    return at == std::string_view::npos ? answer : answer.substr(at);
}

std::int64_t announcedLength(std::string_view head) {
    const std::size_t at = headEnd(head);
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
        return "The answer's status line is not understood: " + printable(status);

    const std::size_t start = headEnd(answer);
    const std::string_view headers =
        start == std::string_view::npos ? std::string_view() : answer.substr(statusEnd + 1, start - statusEnd - 1);
    if (code[0] != '2') {
        // A list that has moved: the parent needs its new address.
        const auto location = code[0] == '3' ? headerValue(headers, "LOCATION") : std::nullopt;
        return printable(status) + (location ? ": the list is now at " + printable(*location) : "");
    }
    if (start == std::string_view::npos) return "The answer ended inside its headers";
    if (start > MaxHeadBytes) return "The answer's headers are longer than " + std::to_string(MaxHeadBytes) + " bytes";
    // As a real HTTP reader would, a damaged head is refused, not read around.
    if (answer.substr(0, start).find('\0') != std::string_view::npos) return "The answer's headers hold a zero byte";
    // An HTTP/1.0 request is never answered in chunks: such a body is not the list.
    if (!headerValues(headers, "TRANSFER-ENCODING").empty())
        return "The answer is not a list: it came with Transfer-Encoding";
    const std::string_view body = answer.substr(start);
    const auto lengths = headerValues(headers, "CONTENT-LENGTH");
    if (lengths.size() > 1) return "The answer announces its length more than once";
    if (!lengths.empty()) {
        const std::string_view length = lengths.front();
        std::uint64_t announced = 0;
        const auto [end, ec] = std::from_chars(length.data(), length.data() + length.size(), announced);
        if (ec != std::errc() || end != length.data() + length.size() || length.empty())
            return "The answer's Content-Length is not a number: " + printable(length);
        if (announced != body.size())
            return "The answer's body has " + std::to_string(body.size()) + " bytes, not the " +
                   std::to_string(announced) + " its Content-Length announced";
    }
    if (!hasSections(listText(answer)))
        return "The answer is not a list: it lacks starturls, mainurls and endurls";
    return {};
}

PreparedList prepareList(const std::string& file, const std::string& publicKey, const std::string& programDir) {
    PreparedList p;
    std::string bytes = readFileBytes(file);
    p.problem = answerProblem(bytes);
    if (p.problem.empty() && !publicKey.empty()) {
        // The signature covers the whole body; a zero byte in it ends the list below.
        SignatureCheck check = checkSignature(answerBody(bytes), publicKey);
        p.problem = std::move(check.problem);
        p.number = check.number;
        // Checked before anything beside data.dat changes, as late as can be.
        if (p.problem.empty()) p.problem = storedOrderProblem(programDir + "data.dat", publicKey, p.number);
    }
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
    const std::string indexPath = programDir + IndexFileName;
    if (bytes.size() >= IndexedFileSize)
        writeIndexFile(indexPath, bytes, p.lists);
    else
        removeIndexFile(indexPath);
    p.text = std::move(bytes);
    return p;
}

std::string storedOrderProblem(const std::string& dataFile, const std::string& publicKey,
                               std::optional<std::uint64_t> number) {
    QFile file(QString::fromLocal8Bit(dataFile.c_str()));
    if (!file.open(QIODevice::ReadOnly)) return {};
    // The head, the signature line and the number line: never more than this.
    const QByteArray start = file.read(static_cast<qint64>(MaxHeadBytes) + 4096);
    return orderProblem(listText(std::string_view(start.constData(), static_cast<std::size_t>(start.size()))), publicKey,
                        number);
}
