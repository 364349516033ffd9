#pragma once
// Runs one of the command-line tools through the shell and takes what it prints.
#include <cstdio>
#include <string>
#include <sys/wait.h>

struct ToolRun {
    int status = -1;
    std::string out;
};

inline ToolRun runTool(const std::string& command) {
    ToolRun r;
    FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    r.status = WEXITSTATUS(pclose(p));
    return r;
}
