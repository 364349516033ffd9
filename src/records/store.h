#pragma once
// Where records go and are read back: the systemd journal where one runs, otherwise a
// bounded file in the program folder.
#include "records/record.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RecordStore {
public:
    virtual ~RecordStore() = default;
    // Called from one writing thread at a time; failures are not thrown.
    virtual void write(const std::vector<Record>& records) = 0;
    // The newest records, at most `limit`, oldest first. Raises Exception when the
    // records cannot be read at all.
    virtual std::vector<Record> recent(std::size_t limit) const = 0;
    // Where they are, in words for a parent.
    virtual std::string where() const = 0;
};

// The journal's fields of a record (documented in the README), without MESSAGE.
inline constexpr const char* RecordMessageId = "a05de5f35bb241c1a82d9f94a6d6b28a";

// True when a journal takes records on this machine (its socket is there).
bool journalRuns();

class JournalStore : public RecordStore {
public:
    void write(const std::vector<Record>& records) override;
    std::vector<Record> recent(std::size_t limit) const override;
    std::string where() const override;
};

// "records.log" in the program folder, moved to "records.old" when it would grow past
// `limit` bytes, so both stay within twice that.
class FileStore : public RecordStore {
public:
    static constexpr std::uint64_t DefaultLimit = 512 * 1024;
    explicit FileStore(std::string programDir, std::uint64_t limit = DefaultLimit);
    void write(const std::vector<Record>& records) override;
    std::vector<Record> recent(std::size_t limit) const override;
    std::string where() const override;

    // One record as a line of the file (tab-separated, escaped), and back.
    static std::string line(const Record& r);
    static bool parse(std::string_view line, Record& r);

private:
    std::string path_, old_;
    std::uint64_t limit_;
};

// The journal when one runs, else the file in the program folder.
std::unique_ptr<RecordStore> openRecordStore(const std::string& programDir);
