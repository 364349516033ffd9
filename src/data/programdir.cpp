#include "data/programdir.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <system_error>

#include <grp.h>
#include <unistd.h>

#include <vector>

namespace fs = std::filesystem;

bool mayChooseProgramFolder() {
    std::error_code ec;
    if (::geteuid() == 0 || !fs::is_directory(SystemFolder, ec)) return true;
    const group* parents = ::getgrnam(ParentsGroup);
    if (!parents) return false;
    if (::getegid() == parents->gr_gid) return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    groups.resize(static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    return std::find(groups.begin(), groups.end(), parents->gr_gid) != groups.end();
}

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
