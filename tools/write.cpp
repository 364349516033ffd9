// wenlow-write: writes the browser's own settings files in the system folder for a
// parent who proved, through polkit (pkexec), to be a member of wenlow-parents. It
// writes nothing else: only the files named below, only in that folder, only bytes the
// setup window itself would write, each through a new file renamed over the old one.
//
// Standard input: one or more files, each a line "NAME LENGTH" and then LENGTH bytes.
#include "data/files.h"
#include "data/setupfiles.h"
#include "data/sitesfile.h"
#include "platform/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <map>
#include <string>

#ifndef WENLOW_HELPER_FOLDER
#define WENLOW_HELPER_FOLDER "/var/lib/wenlow/"
#endif

namespace {

constexpr std::size_t FileLimit = 1 << 20;

int refuse(const std::string& why) {
    std::fprintf(stderr, "wenlow-write: %s; nothing was written\n", why.c_str());
    return 1;
}

bool controlFree(const std::string& s) {
    for (unsigned char c : s)
        if (c < 32 || c == 127) return false;
    return true;
}

// Whether the bytes are what the setup window writes for this file: read as the
// program reads them and written again, they must come out byte for byte the same.
bool asTheWindowWrites(const std::string& name, const std::string& bytes) {
    if (name == "setup.dat") {
        LineReader in(bytes);
        const SetupValues v = parseSetup(in);
        if (!controlFree(v.updateAddress)) return false;
        for (const auto& a : v.addresses)
            if (!controlFree(a)) return false;
        return setupFileBytes(v) == bytes;
    }
    if (name == "buttons.dat") {
        LineReader in(bytes);
        const ButtonsValues v = parseButtons(in);
        for (int i = 0; i < 9; ++i)
            if (!controlFree(v.pictures[i]) || !controlFree(v.labels[i])) return false;
        return buttonsFileBytes(v) == bytes;
    }
    if (name == "pardata.dat") {
        const auto entries = splitList(bytes);
        // As "Add To List" makes them: a web address in plain form, one a line.
        for (const auto& e : entries)
            if (!controlFree(e) || e.size() < 8 || lowerAZ(e.substr(0, 7)) != "http://") return false;
        return listFileBytes(entries) == bytes;
    }
    if (name == SitesFileName) {
        // Sites are host names, approved addresses web addresses, as the window makes them.
        const SitesValues v = parseSites(bytes);
        for (const auto& e : v.entries) {
            if (!controlFree(e.text)) return false;
            const bool web = lowerAZ(e.text.substr(0, 7)) == "http://" || lowerAZ(e.text.substr(0, 8)) == "https://";
            if (e.kind == ParentKind::ApproveAddress ? !web : e.text.find_first_of(" /\\") != std::string::npos) return false;
        }
        for (const auto& other : v.otherLines)
            if (!controlFree(other)) return false;
        return sitesFileBytes(v) == bytes;
    }
    return false;
}

// Inside the folder only, never through a link placed there: a new file created beside
// the target, flushed, given the folder's group, and renamed over the name itself.
bool writeInFolder(int folder, gid_t group, const std::string& name, const std::string& bytes) {
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) return false;
    const std::string temp = "." + name + ".new";
    ::unlinkat(folder, temp.c_str(), 0);
    const int fd = ::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0664);
    if (fd < 0) return false;
    const bool ok = writeFully(fd, bytes) && ::fchown(fd, 0, group) == 0 && ::fchmod(fd, 0664) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::renameat(folder, temp.c_str(), folder, name.c_str()) != 0) {
        ::unlinkat(folder, temp.c_str(), 0);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char**) {
    if (argc != 1) return refuse("it takes no arguments, only files on standard input");
    std::string input((std::istreambuf_iterator<char>(std::cin)), {});
    std::map<std::string, std::string> files;
    for (std::size_t pos = 0; pos < input.size();) {
        const std::size_t eol = input.find('\n', pos);
        if (eol == std::string::npos) return refuse("the input is cut short");
        const std::string head = input.substr(pos, eol - pos);
        const std::size_t blank = head.find(' ');
        const std::string name = head.substr(0, blank);
        char* end = nullptr;
        const unsigned long long length =
            blank == std::string::npos ? 0 : std::strtoull(head.c_str() + blank + 1, &end, 10);
        if (blank == std::string::npos || *end != '\0' || length > FileLimit || eol + 1 + length > input.size())
            return refuse("the input is not a file's head and bytes");
        if (name != "setup.dat" && name != "buttons.dat" && name != "pardata.dat" && name != SitesFileName)
            return refuse(name + " is not one of the browser's settings files");
        if (files.count(name)) return refuse(name + " comes twice");
        files[name] = input.substr(eol + 1, length);
        pos = eol + 1 + length;
    }
    if (files.empty()) return refuse("no file was given");
    for (const auto& [name, bytes] : files)
        if (!asTheWindowWrites(name, bytes)) return refuse(name + " is not as the setup window writes it");

    const int folder = ::open(WENLOW_HELPER_FOLDER, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat dir {};
    if (folder < 0 || ::fstat(folder, &dir) != 0) return refuse(std::string(WENLOW_HELPER_FOLDER) + " is not there");
    ::umask(002);
    // In the order of the save, each old settings file kept once as its first backup.
    for (const char* name : {"setup.dat", "buttons.dat", SitesFileName, "pardata.dat"}) {
        const auto file = files.find(name);
        if (file == files.end()) continue;
        if (file->first == "setup.dat" || file->first == "buttons.dat") {
            const std::string bak = file->first.substr(0, file->first.size() - 4) + ".bak";
            ::linkat(folder, name, folder, bak.c_str(), 0);  // never replaces an existing backup
        }
        if (!writeInFolder(folder, dir.st_gid, file->first, file->second)) {
            ::close(folder);
            std::fprintf(stderr, "wenlow-write: %s could not be written in %s\n", name, WENLOW_HELPER_FOLDER);
            return 1;
        }
    }
    ::close(folder);
    return 0;
}
