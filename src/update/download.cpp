#include "update/download.h"

#include "data/files.h"
#include "platform/text.h"
#include "sockets/wserrors.h"

#include <cctype>
#include <vector>

UpdateSource parseUpdateAddress(std::string text) {
    const size_t start = text.find_first_not_of("/ ");
    text.erase(0, start == std::string::npos ? text.size() : start);
    if (text.size() > 6 && upperAZ(text.substr(0, 7)) == "HTTP://") text.erase(0, 7);
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return {text, "/"};
    return {text.substr(0, slash), text.substr(slash)};
}

bool isErrorStatus(const std::string& response) {
    if (!startsWith(response, "HTTP/")) return false;
    const size_t space = response.find(' ');
    if (space == std::string::npos || space + 3 >= response.size()) return true;
    const std::string code = response.substr(space + 1, 3);
    for (char c : code)
        if (!std::isdigit(static_cast<unsigned char>(c))) return true;
    return code[0] != '2';
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
            if (running_ && overflowed_) abandon("Read buffer full, user did not flush");
        });
    };
    deadline_.setSingleShot(true);
    QObject::connect(&deadline_, &QTimer::timeout, [this] {
        if (running_) abandon("No answer within " + std::to_string(timeLimitMs / 1000) + " seconds");
    });
}

void ListDownload::UpdateData() {
    workText_.clear();
    lists_.clear();
    HttpClient.SetPort("80");
    const UpdateSource source = settings_ && !settings_->option(OptDefaultServer)
                                    ? parseUpdateAddress(settings_->updateAddress())
                                    : UpdateSource{DefaultUpdateHost, DefaultUpdatePath};
    RequestPath = source.path;
    HttpClient.SetAddress(source.host.substr(0, 255));
    try {
        HttpClient.Open(&TBufferedSocketClass);
    } catch (const std::exception& e) {
        restoreLists();
        if (!running_ && onEnded) onEnded(false, e.what());
        throw;
    }
    running_ = true;
    overflowed_ = false;
    deadline_.start(timeLimitMs);
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
    if (s->LastError == wsock::WSAECONNRESET) return endWithoutStoring(ErrorText(wsock::WSAECONNRESET));
    const std::uint32_t n = s->ReadCount;
    if (n == 0) return endWithoutStoring("The server sent nothing");

    std::vector<char> block(n + 1, '\0');
    s->Read(block.data(), n);
    workText_ = block.data();  // up to the first zero byte
    // An answer whose text is empty (it begins with a zero byte) is no list either.
    if (workText_.empty()) return endWithoutStoring("The server sent nothing");
    if (isErrorStatus(workText_)) return endWithoutStoring(workText_.substr(0, workText_.find_first_of("\r\n")));

    const std::string file = programDir_ + "data.dat";
    backupRename(file, programDir_ + "data.bak");
    try {
        writeFileSafely(file, workText_);
    } catch (...) {
        endWithoutStoring("Cannot create file " + file);
        throw;
    }
    running_ = false;
    deadline_.stop();
    const size_t stored = workText_.size();
    lists_.clear();
    readDataFile(programDir_, workText_, lists_);
    if (onStored) onStored();
    s->Close();
    if (onEnded) onEnded(true, "stored " + std::to_string(stored) + " bytes");
}

void ListDownload::endWithoutStoring(const std::string& outcome) {
    running_ = false;
    deadline_.stop();
    // Bytes of this answer must not open the next one: the socket keeps its buffer.
    if (auto* s = dynamic_cast<TBufferedSocketBase*>(HttpClient.Socket); s && s->ReadCount > 0)
        s->PullUpReadBuffer(s->ReadCount);
    restoreLists();
    if (onEnded) onEnded(false, outcome);
}

void ListDownload::abandon(const std::string& outcome) {
    if (HttpClient.Socket) HttpClient.Socket->Close();
    endWithoutStoring(outcome);
}

void ListDownload::restoreLists() {
    lists_.clear();
    if (!fileExists(programDir_ + "data.dat")) return;
    std::string work;
    try {
        readDataFile(programDir_, work, lists_);
    } catch (const std::exception&) {
        // Unreadable now: the lists stay empty, as they would at a start.
    }
}
