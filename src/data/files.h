#pragma once
// The reading rules of the data files, the backup rename and safe writes.
#include <string>
#include <vector>

// "Line reading" (setup.dat, buttons.dat, default.dat): a CR ends a line and an LF right
// after it belongs to the line end; a lone LF is an ordinary character. The text ends
// at the end of the file or at a byte 26. Reading past the end yields empty lines.
class LineReader {
public:
    explicit LineReader(std::string text);
    // Raises "File not found" when the file cannot be opened.
    static LineReader open(const std::string& path);

    std::string next();
    bool atEnd() const { return pos_ >= text_.size(); }

private:
    std::string text_;
    size_t pos_ = 0;
};

// "List reading" (pardata.dat): CR LF, lone CR or lone LF end a line; the text ends at
// the end of the file or at a zero byte; every line, empty ones included, is an entry.
std::vector<std::string> splitList(const std::string& text);
// Raises "Cannot open file <path>".
std::vector<std::string> readListFile(const std::string& path);

// Whole file as bytes; raises "Cannot open file <path>".
std::string readFileBytes(const std::string& path);

// Writes through a temporary file in the same folder that is flushed and renamed over
// the target, so a failure at any moment leaves the previous file whole.
// Raises "Cannot create file <path>".
void writeFileSafely(const std::string& path, const std::string& bytes);

// Keeps the contents of `from` as `to` unless `to` exists already: the first backup is
// never replaced. `from` stays in place (it is replaced by the safe write that follows),
// so there is never a moment without it. The outcome is not reported.
void backupRename(const std::string& from, const std::string& to);

bool fileExists(const std::string& path);

// Every byte to a file descriptor, through short writes and interruptions; false when
// the system refused.
bool writeFully(int fd, const std::string& bytes);
