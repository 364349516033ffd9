#include "update/download.h"

#include "data/files.h"
#include "data/indexfile.h"
#include "data/programdir.h"
#include "platform/errors.h"
#include "sockets/wserrors.h"
#include "update/signature.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The download's socket: a receive error ends the transfer as a reset does, so that what
// came before it is never taken for a whole answer when an orderly close follows.
class TransferSocket : public TBufferedSocket {
public:
    using TBufferedSocket::TBufferedSocket;
    void FillReadBuffer() override {
        try {
            TBufferedSocket::FillReadBuffer();
        } catch (const ESockError&) {
            if (LastError == 0) throw;
            DoDisconnect();  // LastError tells the disconnect handler why
        }
    }
};
const TSocketClass TransferSocketClass{"TTransferSocket", [](TSockCtrl* c) -> TSocketBase* { return new TransferSocket(c); }};

// The answers of updates that were killed: those whose process is gone. A live process
// of that number (or one of another user) keeps its file.
void removeLeftovers(const std::string& programDir) {
    const QDir dir(QString::fromLocal8Bit(programDir.c_str()));
    const QString prefix = "data.dat.part";
    for (const QString& name : dir.entryList({prefix + "*"}, QDir::Files | QDir::System | QDir::Hidden)) {
        const QString digits = name.mid(prefix.size());
        bool number = !digits.isEmpty() && digits.size() < 10;
        for (const QChar c : digits) number = number && c >= '0' && c <= '9';
        if (!number) continue;
        const pid_t pid = static_cast<pid_t>(digits.toInt());
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) QFile::remove(dir.filePath(name));
    }
}

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

}  // namespace

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
    // What arrives goes on to the file at once, so the buffer never fills.
    HttpClient.OnReadBufferChange = [this](TBufferedSocketBase* s) { take(s); };
    deadline_.setSingleShot(true);
    QObject::connect(&deadline_, &QTimer::timeout, [this] {
        timedOut("Nothing came from the server for " + std::to_string(timeLimitMs / 1000) + " seconds");
    });
    transferDeadline_.setSingleShot(true);
    QObject::connect(&transferDeadline_, &QTimer::timeout, [this] {
        timedOut("The download took longer than " + std::to_string(transferLimitMs / 1000) + " seconds");
    });
}

void ListDownload::timedOut(const std::string& outcome) {
    if (!running_) return;
    // A look-up under way gives up, and the start reports it; afterwards the connection
    // is dropped.
    if (opening_)
        HttpClient.TimedOut = true;
    else
        endWithoutStoring(outcome);
}

ListDownload::~ListDownload() {
    if (worker_.joinable()) worker_.join();
}

void ListDownload::UpdateData() {
    if (running_) throw ESockError(ErrorText(msgAlreadyOpened));
    // The lists in force stay in force until a new list has been stored and read whole.
    workText_.clear();
    HttpClient.SetPort("80");
    const bool typed = settings_ && !settings_->option(OptDefaultServer);
    const UpdateSource source =
        typed ? parseUpdateAddress(settings_->updateAddress()) : UpdateSource{DefaultUpdateHost, DefaultUpdatePath};
    RequestPath = source.path;
    HttpClient.SetAddress(source.host.substr(0, 255));
    try {
        if (const std::string problem = typed ? updateAddressProblem(settings_->updateAddress()) : std::string();
            !problem.empty())
            throw Exception(problem);
        key_ = trustedKey(programDir_);
        removeLeftovers(programDir_);
        // The answer's file: in the folder of data.dat, so that it takes its place by a rename.
        const std::string partName = programDir_ + "data.dat.part" + std::to_string(::getpid());
        part_ = std::make_unique<QFile>(QString::fromLocal8Bit(partName.c_str()));
        if (!part_->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            part_.reset();
            throw EFileError(writeFailureText(programDir_, "Cannot create file " + partName));
        }
    } catch (const std::exception& e) {
        if (onEnded) onEnded(false, e.what());
        throw;
    }
    head_.clear();
    received_ = 0;
    announced_ = -1;
    running_ = true;
    HttpClient.TimedOut = false;
    // Both time limits cover the host look-up too.
    deadline_.start(timeLimitMs);
    transferDeadline_.start(transferLimitMs);
    opening_ = true;
    try {
        HttpClient.Open(&TransferSocketClass);
    } catch (const std::exception& e) {
        opening_ = false;
        // The outcome names the host the look-up did not find; the error itself stays as
        // it is for whoever shows it.
        const std::string what = e.what();
        endWithoutStoring(endsWith(what, "finding address for host") ? what + " " + source.host : what);
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
    if (!running_) return;
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
        endWithoutStoring(e.what());
        throw;
    }
}

void ListDownload::take(TBufferedSocketBase* s) {
    if (!running_ || !part_ || s->ReadCount == 0) return;
    const std::uint32_t n = s->ReadCount;
    const qint64 written = part_->write(s->ReadBuffer.get(), n);
    if (head_.size() < MaxHeadBytes && announced_ < 0) {
        head_.append(s->ReadBuffer.get(), std::min<std::size_t>(n, MaxHeadBytes - head_.size()));
        announced_ = announcedLength(head_);
    }
    s->PullUpReadBuffer(n);
    received_ += n;
    if (written != static_cast<qint64>(n))
        return endWithoutStoring("Cannot write file " + part_->fileName().toStdString());
    // An announced length over the limit ends it at once, not after the bytes came.
    if (received_ > maxBytes || (announced_ > 0 && static_cast<std::uint64_t>(announced_) > maxBytes))
        return endWithoutStoring("The answer is larger than " + std::to_string(maxBytes) + " bytes");
    deadline_.start(timeLimitMs);  // what counts is silence, not the length of the transfer
    if (onProgress) onProgress(received_, announced_);
}

void ListDownload::HttpClientDisconnect(TSockCtrl*, TSocketBase* Socket) {
    auto* s = static_cast<TBufferedSocket*>(Socket);
    if (!running_ || !part_) return;
    take(s);
    if (!running_) return;
    // A transfer ended by any receive error is not whole, whatever had arrived.
    if (s->LastError != 0) return endWithoutStoring(ErrorText(s->LastError));
    if (received_ == 0 || head_.empty() || head_.front() == '\0') return endWithoutStoring("The server sent nothing");
    finish();
}

void ListDownload::finish() {
    closeConnection();
    deadline_.stop();
    transferDeadline_.stop();
    if (!part_->flush() || ::fsync(part_->handle()) != 0)
        return endWithoutStoring("Cannot write file " + part_->fileName().toStdString());
    part_->close();
    // Checked and read off the GUI thread; nothing it touches is shared meanwhile.
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread([this, file = part_->fileName().toStdString(), key = key_, dir = programDir_] {
        auto prepared = std::make_shared<PreparedList>();
        try {
            *prepared = prepareList(file, key, dir);
        } catch (const std::exception& e) {
            prepared->problem = e.what();
        }
        mailbox_.post([this, prepared] { store(prepared); });
    });
}

namespace {

// Held while a list takes data.dat's place, so that two runs in one folder (Update Now and
// the timer's) store one after the other. Only the folder's own accounts can open it;
// without it the order is still checked again, just before the rename.
class StoreLock {
public:
    explicit StoreLock(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0640)) {
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);  // held by another run for a check and a rename
    }
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int fd_;
};

}  // namespace

void ListDownload::store(std::shared_ptr<PreparedList> prepared) {
    if (worker_.joinable()) worker_.join();
    if (!running_) return;
    if (!prepared->problem.empty()) return endWithoutStoring(prepared->problem);
    const std::string file = programDir_ + "data.dat";
    // Another run may have stored a newer list since this one was checked.
    const StoreLock lock(programDir_ + StoreLockName);
    if (!key_.empty())
        if (std::string problem = storedOrderProblem(file, key_, prepared->number); !problem.empty())
            return endWithoutStoring(problem);
    backupRename(file, programDir_ + "data.bak");
    if (::rename(QFile::encodeName(part_->fileName()).constData(), QFile::encodeName(QString::fromLocal8Bit(file.c_str())).constData()) != 0) {
        const std::string outcome = "Cannot create file " + file;
        endWithoutStoring(outcome);
        showApplicationError(writeFailureText(programDir_, outcome));
        return;
    }
    part_.reset();
    running_ = false;
    const std::size_t entries = prepared->lists.predefined().size() + prepared->lists.main().size();
    std::string outcome = "stored " + std::to_string(prepared->text.size()) + " bytes: " + std::to_string(entries) +
                          (entries == 1 ? " entry, " : " entries, ");
    if (key_.empty())
        outcome += "not checked (there is no update.key)";
    else
        outcome += "signed with key " + keyId(key_) +
                   (prepared->number ? ", number " + std::to_string(*prepared->number) : std::string(", no number"));
    lists_ = std::move(prepared->lists);
    workText_ = std::move(prepared->text);
    if (onStored) onStored();
    if (onEnded) onEnded(true, outcome);
}

void ListDownload::closeConnection() {
    // Nothing of this download may reach the next one: no bytes in either buffer, no
    // open connection.
    if (auto* s = dynamic_cast<TBufferedSocketBase*>(HttpClient.Socket)) {
        if (s->ReadCount > 0) s->PullUpReadBuffer(s->ReadCount);
        if (s->WriteCount > 0) s->PullUpWriteBuffer(s->WriteCount);
        s->Close();
    }
}

void ListDownload::endWithoutStoring(const std::string& outcome) {
    running_ = false;
    deadline_.stop();
    transferDeadline_.stop();
    closeConnection();
    if (part_) {
        part_->remove();
        part_.reset();
    }
    if (onEnded) onEnded(false, outcome);
}
