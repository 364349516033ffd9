#include "data/linklists.h"

#include "data/files.h"
#include "data/image.h"
#include "data/indexfile.h"
#include "platform/text.h"

#include <algorithm>
#include <atomic>
#include <future>

std::uint64_t LinkLists::nextRevision() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

LinkLists::LinkLists(const LinkLists& other) : predefined_(other.predefined_), main_(other.main_) {
    index_.build(predefined_, main_);
}

LinkLists& LinkLists::operator=(const LinkLists& other) {
    if (this != &other) {
        predefined_ = other.predefined_;
        main_ = other.main_;
        index_.build(predefined_, main_);
        revision_ = nextRevision();
    }
    return *this;
}

LinkLists::LinkLists(LinkLists&& other) noexcept
    : predefined_(std::move(other.predefined_)), main_(std::move(other.main_)), index_(std::move(other.index_)) {
    index_.rebind(predefined_);
    other.revision_ = nextRevision();
}

LinkLists& LinkLists::operator=(LinkLists&& other) noexcept {
    predefined_ = std::move(other.predefined_);
    main_ = std::move(other.main_);
    index_ = std::move(other.index_);
    index_.rebind(predefined_);
    revision_ = nextRevision();
    other.revision_ = nextRevision();
    return *this;
}

void LinkLists::clear() {
    predefined_.clear();
    main_.clear();
    index_.build(predefined_, main_);
    revision_ = nextRevision();
}

void LinkLists::save(ImageWriter& out) const {
    predefined_.save(out);
    main_.save(out);
    index_.save(out);
}

bool LinkLists::load(ImageReader& in) {
    revision_ = nextRevision();
    if (predefined_.load(in) && main_.load(in) && index_.load(in, predefined_) && in.atEnd()) return true;
    clear();
    return false;
}

void LinkLists::append(TextList predefined, const TextList& main) {
    // Sorted once and merged, not inserted one by one.
    predefined_.mergeSorted(std::move(predefined));
    main_.append(main);
    index_.build(predefined_, main_);
    revision_ = nextRevision();
}


std::size_t headEnd(std::string_view text) {
    for (std::size_t pos = 0;;) {
        const std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) return eol;
        if (eol == pos || (eol == pos + 1 && text[pos] == '\r')) return eol + 1;
        pos = eol + 1;
    }
}

std::string_view listText(std::string_view dataFile) {
    if (startsWith(dataFile, "HTTP/")) {
        const std::size_t end = headEnd(dataFile);
        if (end == std::string_view::npos || dataFile.substr(0, end).find('\0') != std::string_view::npos) return {};
        dataFile.remove_prefix(end);
    }
    return dataFile.substr(0, dataFile.find('\0'));
}

void scanDataText(std::string_view text, LinkLists& lists) {
    text = listText(text);
    TextList predefined, main;
    predefined.reserve(static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
                           return static_cast<unsigned char>(c) < 32;
                       })),
                       text.size());
    std::string upper;
    bool inside = false;
    bool toMain = false;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 32) continue;
        const std::string_view line = text.substr(start, i - start);
        start = i + 1;
        if (line == "endurls") inside = false;
        if (line == "mainurls") {
            toMain = true;
        } else if (inside && !line.empty()) {
            upper.assign(line);
            for (char& c : upper)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            (toMain ? main : predefined).push_back(upper);
        } else if (line == "starturls") {
            inside = true;
        }
    }
    lists.append(std::move(predefined), main);
}

namespace {

// A large index file is read and checked on another thread while data.dat is read and
// its checksum taken, when empty lists could take it.
std::future<IndexFile> openIndexFile(const std::string& indexPath, const LinkLists& lists) {
    if (!lists.empty() || !fileExists(indexPath)) return {};
    return std::async(std::launch::async, &IndexFile::open, indexPath);
}

// The entries of data.dat, given whole: the index file names the whole file, so using
// it needs no search for where the text ends.
void addDataFile(std::string_view bytes, const std::string& indexPath, std::future<IndexFile> index,
                 LinkLists& lists) {
    if (!lists.empty()) {
        scanDataText(bytes, lists);
        return;
    }
    if (bytes.size() < IndexedFileSize) {
        scanDataText(bytes, lists);
        removeIndexFile(indexPath);
        return;
    }
    if (index.valid()) {
        const std::uint64_t sum = checksumOf(bytes);
        IndexFile file = index.get();
        if (file.madeFrom(bytes.size(), sum)) {
            lists = file.lists();
            return;
        }
    }
    scanDataText(bytes, lists);
    writeIndexFile(indexPath, bytes, lists);
}

}  // namespace

void readDataFile(const std::string& programDir, std::string& workText, LinkLists& lists) {
    const std::string indexPath = programDir + IndexFileName;
    auto index = openIndexFile(indexPath, lists);
    workText.clear();
    std::string bytes = readFileBytes(programDir + "data.dat");
    addDataFile(bytes, indexPath, std::move(index), lists);
    bytes.resize(std::min(bytes.find('\0'), bytes.size()));
    workText = std::move(bytes);
}

void readDataFile(const std::string& programDir, LinkLists& lists) {
    const std::string indexPath = programDir + IndexFileName;
    auto index = openIndexFile(indexPath, lists);
    const FileImage m = readFileImage(programDir + "data.dat");
    if (!m.data) {
        // Empty, or not there (which raises the usual error).
        std::string work;
        readDataFile(programDir, work, lists);
        return;
    }
    addDataFile({m.data, m.size}, indexPath, std::move(index), lists);
}
