#pragma once
// A temporary program folder, optionally filled from the sample folder.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <string>

class ProgramFolder {
public:
    explicit ProgramFolder(bool fromSample = false) {
        if (!fromSample) return;
        const QDir sample(WENLOW_SAMPLE_DIR);
        for (const QString& name : sample.entryList(QDir::Files)) QFile::copy(sample.filePath(name), dir_.filePath(name));
    }
    // Ends with the path separator, as the program directory does.
    std::string path() const { return dir_.path().toStdString() + "/"; }
    std::string file(const std::string& name) const { return path() + name; }

    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool exists(const std::string& name) const { return QFile::exists(QString::fromStdString(file(name))); }
    void remove(const std::string& name) const { QFile::remove(QString::fromStdString(file(name))); }
    QStringList entries() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }

private:
    QTemporaryDir dir_;
};
