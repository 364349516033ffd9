#pragma once
// What the command-line tools share: finding the program folder and loading the
// settings and lists from it exactly as the browser does at start.
#include "approval/settings.h"
#include "data/linklists.h"

#include <string>

struct ProgramSettings {
    PlainSettings settings;
    LinkLists lists;
    int firstSite = 0;  // the first site with an address, as the start-up finds it
};

// The folder given, with a trailing separator, or this program's own folder.
std::string programFolder(const std::string& given);

// setup.dat, pardata.dat, sites.dat and data.dat; raises the browser's file errors.
ProgramSettings loadProgramSettings(const std::string& programDir);

bool parseSite(const char* text, int& site);
int usageError(const std::string& message, const char* usage);
