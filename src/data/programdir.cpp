#include "data/programdir.h"

#include <atomic>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

std::string defaultProgramFolder(const std::string& executableDir) {
    std::string dir = executableDir.empty() ? std::string(".") : executableDir;
    if (dir.back() != '/') dir += '/';
    std::error_code ec;
    const fs::path supplied = fs::path(dir) / ".." / "share" / "wenlow";
    if (fs::exists(dir + "setup.dat", ec) || !fs::exists(supplied / "default.dat", ec)) return dir;
    fillMissing(supplied.lexically_normal().string(), SystemFolder);
    return SystemFolder;
}

void fillMissing(const std::string& from, const std::string& to) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(from, ec)) {
        if (!entry.is_regular_file(ec)) continue;
        const fs::path target = fs::path(to) / entry.path().filename();
        if (!fs::exists(target, ec)) fs::copy_file(entry.path(), target, fs::copy_options::skip_existing, ec);
    }
}

std::string writeFailureText(const std::string& programDir, const std::string& plain) {
    static std::atomic<bool> told{false};
    if (::access(programDir.c_str(), W_OK) == 0 || told.exchange(true)) return plain;
    return "The settings and lists are kept in " + programDir +
           ", which this account cannot change, so nothing was changed. Sign in with a parent's account (a member "
           "of the group wenlow-parents) to change them";
}
