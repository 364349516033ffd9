#pragma once
// Where the program folder is when none is given. A build keeps it beside the program;
// an installed program (its supplied files under ../share/wenlow) uses the system
// folder, filled from the supplied files where it lacks one.
#include <string>

inline constexpr const char* SystemFolder = "/var/lib/wenlow/";

inline constexpr const char* ParentsGroup = "wenlow-parents";

// Whether this account may run the browser on a program folder of its choosing: where the
// system folder is there (an installed browser), only root and the parents' group may;
// every other account runs on the system's rules.
bool mayChooseProgramFolder();

// With a trailing "/".
std::string defaultProgramFolder(const std::string& executableDir);

// Copies every file of `from` that `to` lacks; never replaces one. Best effort: a folder
// this account cannot write is left as it is.
void fillMissing(const std::string& from, const std::string& to);

// What a failed write in the program folder tells the person at the keyboard: when this
// account cannot change the folder at all, the first time in a run a parent's words for
// it (which folder, and that a parent's account is needed); otherwise, and later, `plain`.
std::string writeFailureText(const std::string& programDir, const std::string& plain);
