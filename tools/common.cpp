#include "tools/common.h"

#include "approval/engineform.h"
#include "data/files.h"
#include "data/programdir.h"
#include "data/setupfiles.h"
#include "data/sitesfile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

std::string programFolder(const std::string& given) {
    std::string dir = given;
    if (dir.empty()) {
        std::error_code ec;
        dir = defaultProgramFolder(std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string());
    }
    if (dir.empty()) dir = std::string(".");
    if (dir.back() != '/') dir += '/';
    return dir;
}

ProgramSettings loadProgramSettings(const std::string& programDir) {
    ProgramSettings p;
    p.settings.parent = parentEntries(readListFile(programDir + "pardata.dat"));
    p.settings.setup = readSetupFile(programDir + "setup.dat");
    p.settings.setSites(readSitesFile(programDir));
    readDataFile(programDir, p.lists);
    for (int i = 1; i <= 9 && p.firstSite == 0; ++i)
        if (p.settings.setup.shown[i - 1] && !p.settings.setup.addresses[i - 1].empty()) p.firstSite = i;
    return p;
}

bool parseSite(const char* text, int& site) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || n < 0 || n > 9) return false;
    site = static_cast<int>(n);
    return true;
}

int usageError(const std::string& message, const char* usage) {
    std::fprintf(stderr, "%s\n%s", message.c_str(), usage);
    return 2;
}
