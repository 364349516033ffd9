#include "update/download.h"

#include "data/files.h"
#include "platform/text.h"
#include "sockets/wserrors.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

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

    size_t headerEnd = answer.find("\r\n\r\n", statusEnd - 1);
    size_t bodyStart = headerEnd + 4;
    if (const size_t bare = answer.find("\n\n", statusEnd); bare < headerEnd) {
        headerEnd = bare;
        bodyStart = bare + 2;
    }
    if (headerEnd == std::string_view::npos) return "The answer ended inside its headers";
    const std::string_view headers = answer.substr(statusEnd + 1, headerEnd - statusEnd);
    const std::string_view body = answer.substr(bodyStart);
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

bool defaultUpdateHostSet() {
    const std::string_view host = DefaultUpdateHost;
    return !host.empty() && !(host.size() >= 8 && host.substr(host.size() - 8) == ".invalid");
}

ListDownload::ListDownload(std::string programDir, LinkLists& lists, std::string& workText)
    : programDir_(std::move(programDir)), lists_(lists), workText_(workText) {
    HttpClient.SetPort("80");
    HttpClient.SetProtocol("tcp");
    HttpClient.SetTimeOut(15);
    HttpClient.ReadBufferSize = 32000;
    HttpClient.WriteBufferSize = 32000;
    HttpClient.RecordSize = 16;
    HttpClient.OnConnect = [this](TSockCtrl* c, TSocketBase* s) { HttpClientConnect(c, s); };
    HttpClient.OnDisconnect = [this](TSockCtrl* c, TSocketBase* s) { HttpClientDisconnect(c, s); };
    // An answer that overflows the buffer is not a list: the error is shown once (by the
    // socket), then the connection is dropped and nothing is stored.
    HttpClient.OnReadBufferFull = [this](TBufferedSocketBase*) {
        overflowed_ = true;
        QTimer::singleShot(0, &deadline_, [this] {
            if (running_ && overflowed_) endWithoutStoring("Read buffer full, user did not flush");
        });
    };
    deadline_.setSingleShot(true);
    QObject::connect(&deadline_, &QTimer::timeout, [this] {
        if (!running_) return;
        // A look-up under way gives up, and the start reports it; afterwards the
        // connection is dropped.
        if (opening_)
            HttpClient.TimedOut = true;
        else
            endWithoutStoring("No answer within " + std::to_string(timeLimitMs / 1000) + " seconds");
    });
}

void ListDownload::UpdateData() {
    if (running_) throw ESockError(ErrorText(msgAlreadyOpened));
    // The lists in force stay in force until a new list has been stored and read whole.
    workText_.clear();
    HttpClient.SetPort("80");
    const UpdateSource source = settings_ && !settings_->option(OptDefaultServer)
                                    ? parseUpdateAddress(settings_->updateAddress())
                                    : UpdateSource{DefaultUpdateHost, DefaultUpdatePath};
    RequestPath = source.path;
    HttpClient.SetAddress(source.host.substr(0, 255));
    running_ = true;
    overflowed_ = false;
    HttpClient.TimedOut = false;
    // The time limit covers the host look-up too.
    deadline_.start(timeLimitMs);
    opening_ = true;
    try {
        HttpClient.Open(&TBufferedSocketClass);
    } catch (const std::exception& e) {
        opening_ = false;
        endWithoutStoring(e.what());
        throw;
    }
    opening_ = false;
}

void ListDownload::HTTPWriteLine(TBufferedSocket* Socket, const std::string& Line) {
    if (!Line.empty()) Socket->WriteBlock(Line.data(), static_cast<std::uint32_t>(Line.size()));
    Socket->WriteBlock("\r\n", 2);
}

void ListDownload::HttpClientConnect(TSockCtrl*, TSocketBase* Socket) {
    auto* s = static_cast<TBufferedSocket*>(Socket);
    if (s->LastError != 0) {
        const std::string line = "Connect error " + ErrorText(s->LastError);
        workText_ += line + "\r\n";
        endWithoutStoring(line);
        return;
    }
    try {
        HTTPWriteLine(s, "GET " + RequestPath + " HTTP/1.0");
        HTTPWriteLine(s, "");
        s->FlushWriteBuffer();
    } catch (const std::exception& e) {
        s->Close();
        endWithoutStoring(e.what());
        throw;
    }
}

void ListDownload::HttpClientDisconnect(TSockCtrl*, TSocketBase* Socket) {
    auto* s = static_cast<TBufferedSocket*>(Socket);
    if (!running_) return;
    if (overflowed_) return endWithoutStoring("Read buffer full, user did not flush");
    // A transfer ended by any receive error is not whole, whatever had arrived.
    if (s->LastError != 0) return endWithoutStoring(ErrorText(s->LastError));
    const std::uint32_t n = s->ReadCount;
    if (n == 0) return endWithoutStoring("The server sent nothing");

    std::string answer(n, '\0');
    s->Read(answer.data(), n);
    // An answer whose text is empty (it begins with a zero byte) is no list either.
    if (answer.front() == '\0') return endWithoutStoring("The server sent nothing");
    if (const std::string problem = answerProblem(answer); !problem.empty()) return endWithoutStoring(problem);
    answer.resize(answer.find('\0') == std::string::npos ? n : answer.find('\0'));

    const std::string file = programDir_ + "data.dat";
    backupRename(file, programDir_ + "data.bak");
    try {
        writeFileSafely(file, answer);
    } catch (...) {
        endWithoutStoring("Cannot create file " + file);
        throw;
    }
    // The new rules are read beside the old ones and replace them in one step.
    LinkLists fresh;
    std::string text;
    try {
        readDataFile(programDir_, text, fresh);
    } catch (const std::exception& e) {
        endWithoutStoring(e.what());
        throw;
    }
    lists_ = std::move(fresh);
    workText_ = std::move(text);
    running_ = false;
    deadline_.stop();
    if (onStored) onStored();
    s->Close();
    if (onEnded) onEnded(true, "stored " + std::to_string(answer.size()) + " bytes");
}

void ListDownload::endWithoutStoring(const std::string& outcome) {
    running_ = false;
    deadline_.stop();
    // Nothing of this download may reach the next one: no bytes in either buffer, no
    // open connection.
    if (auto* s = dynamic_cast<TBufferedSocketBase*>(HttpClient.Socket)) {
        if (s->ReadCount > 0) s->PullUpReadBuffer(s->ReadCount);
        if (s->WriteCount > 0) s->PullUpWriteBuffer(s->WriteCount);
        s->Close();
    }
    if (onEnded) onEnded(false, outcome);
}
