#include "setup/parentwrite.h"

#include "data/files.h"
#include "data/programdir.h"
#include "platform/errors.h"

#include <QProcess>

#include <unistd.h>

namespace {

// By its own path: one found on the child's PATH could be anything that answers yes.
constexpr const char* Pkexec = "/usr/bin/pkexec";

// Whether the folder holds what was handed over: only what is stored counts.
bool stored(const std::string& folder, const FilesToWrite& files) {
    try {
        for (const auto& [name, bytes] : files)
            if (readFileBytes(folder + name) != bytes) return false;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

bool parentCanWrite(const std::string& programDir) {
    return programDir == SystemFolder && ::access(programDir.c_str(), W_OK) != 0 &&
           ::access(HelperProgram, X_OK) == 0 && ::access(Pkexec, X_OK) == 0;
}

void writeAsParent(const std::string& folder, const FilesToWrite& files, std::vector<std::string> command) {
    if (command.empty()) command = {Pkexec, HelperProgram};
    QByteArray input;
    for (const auto& [name, bytes] : files)
        input += QByteArray::fromStdString(name + " " + std::to_string(bytes.size()) + "\n") +
                 QByteArray::fromStdString(bytes);
    QProcess helper;
    QStringList arguments;
    for (std::size_t i = 1; i < command.size(); ++i) arguments << QString::fromStdString(command[i]);
    helper.start(QString::fromStdString(command[0]), arguments);
    // The parent answers the desktop's own authentication dialog meanwhile.
    const bool ran = helper.waitForStarted(10000) && helper.write(input) == input.size() &&
                     (helper.closeWriteChannel(), helper.waitForFinished(300000));
    if (!ran || helper.exitStatus() != QProcess::NormalExit || helper.exitCode() != 0 || !stored(folder, files)) {
        if (helper.state() != QProcess::NotRunning) helper.kill();
        helper.waitForFinished(1000);
        throw EFileError(ParentRefusedText);
    }
}

void writeRefused(const std::string& programDir, const FilesToWrite& files, const std::string& failure) {
    if (parentCanWrite(programDir)) return writeAsParent(programDir, files);
    throw EFileError(writeFailureText(programDir, failure));
}
