// The browser's own command-line words, answered without a display.
#include "support/tool.h"

#include <gtest/gtest.h>

#include <string>

TEST(BrowserWords, AnsweredWithoutADisplay) {
    const struct {
        const char* args;
        int status;
        const char* output;  // the start of what it prints, both streams
    } cases[] = {
        {"--help", 0, "usage: wenlow [--dir DIR] [PARENT]"},
        {"--version", 0, "Wenlow Explorer " WENLOW_VERSION "\n"},
        {"--dir /nonexistent/folder", 2, "wenlow: the program folder /nonexistent/folder is not there"},
        {"--dir", 2, "wenlow: --dir takes a folder"},
    };
    for (const auto& c : cases) {
        const ToolRun r = runTool("env -u DISPLAY -u WAYLAND_DISPLAY " + std::string(WENLOW_BROWSER) + " " + c.args + " 2>&1");
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out.substr(0, std::string(c.output).size()), c.output) << c.args;
    }
}
