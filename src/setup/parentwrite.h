#pragma once
// A save in a child's account: the system folder belongs to the parents' group, so the
// browser's own write is refused. A parent at the child's screen then proves through
// the desktop's authorisation (polkit) to be a member of wenlow-parents, and the
// package's helper writes the files; the child's account alone still changes nothing.
#include <string>
#include <utility>
#include <vector>

using FilesToWrite = std::vector<std::pair<std::string, std::string>>;  // name in the folder, bytes

inline constexpr const char* HelperProgram = "/usr/lib/wenlow/wenlow-write";
inline constexpr const char* ParentRefusedText =
    "A parent's permission was not given, so nothing was changed. A parent can allow it by signing in here when asked.";

// Whether a refused write in this folder can be put to a parent: the system folder of
// an installed browser, with its helper and pkexec there.
bool parentCanWrite(const std::string& programDir);

// The files through the helper, as `command` (pkexec and the helper by default), into
// `folder`, where the helper writes. Raises EFileError with ParentRefusedText when the
// parent did not allow it, the helper refused the bytes, or the folder does not hold
// them afterwards.
void writeAsParent(const std::string& folder, const FilesToWrite& files, std::vector<std::string> command = {});

// Runs `direct`; when it fails in a folder a parent can write through the helper, the
// files go there instead; otherwise the failure is raised in a parent's words.
template <class Direct>
void saveProgramFiles(const std::string& programDir, const FilesToWrite& files, Direct direct);

// The failure of a direct write, then: through the helper, or the words for it.
void writeRefused(const std::string& programDir, const FilesToWrite& files, const std::string& failure);

template <class Direct>
void saveProgramFiles(const std::string& programDir, const FilesToWrite& files, Direct direct) {
    std::string failure;
    try {
        direct();
        return;
    } catch (const std::exception& e) {
        failure = e.what();
    }
    writeRefused(programDir, files, failure);
}
