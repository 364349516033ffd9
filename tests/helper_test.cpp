// The parents' helper: what it writes and refuses, and, with a polkit daemon and system
// bus of the test's own (tests/support/polkit.sh), that only a parent's sign-in lets a
// child's account use it.
#include "data/files.h"
#include "approval/sitelist.h"
#include "data/setupfiles.h"
#include "platform/errors.h"
#include "setup/parentwrite.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

const std::string Folder = WENLOW_HELPER_FOLDER;

// The folder as the package fills it, from the sample.
void freshFolder() {
    std::filesystem::remove_all(Folder);
    std::filesystem::create_directories(Folder);
    for (const char* name : {"setup.dat", "buttons.dat", "pardata.dat", "sites.dat"})
        std::filesystem::copy_file(std::string(WENLOW_SAMPLE_DIR) + "/" + name, Folder + name);
}

std::string frame(const std::string& name, const std::string& bytes) {
    return name + " " + std::to_string(bytes.size()) + "\n" + bytes;
}

int runHelper(const std::string& input) {
    QProcess helper;
    helper.start(WENLOW_WRITE_TEST, {});
    helper.waitForStarted();
    helper.write(QByteArray::fromStdString(input));
    helper.closeWriteChannel();
    helper.waitForFinished();
    return helper.exitCode();
}

std::string changedSetup() {
    SetupValues v = readSetupFile(Folder + "setup.dat");
    v.password = "new secret";
    return setupFileBytes(v);
}

}  // namespace

TEST(Helper, WritesOnlyTheSettingsFilesAsTheWindowWritesThem) {
    const std::string setup = [] { freshFolder(); return changedSetup(); }();
    const std::string buttons = buttonsFileBytes(readButtonsFile(Folder + "buttons.dat"));
    const struct {
        const char* name;
        std::string input;
        bool written;
    } cases[] = {
        {"setup and buttons as a save writes them", frame("setup.dat", setup) + frame("buttons.dat", buttons), true},
        {"the parent's list", frame("pardata.dat", listFileBytes({"http://www.chat.example", "HTTP://X.example/a"})), true},
        {"the parent's sites", frame("sites.dat", "only-approved 1\r\nsafe-search 1\r\nallow-site kids.example\r\n"
                                                  "allow-address http://learn.example/maths\r\nblock-site chat.example\r\n"),
         true},
        {"the parent's sites written by hand, as the window writes them back",
         frame("sites.dat", sitesFileBytes(storedForm(parseSites("block-site http://www.chat.example/rooms\r\n"
                                                                 "allow-address learn.example/maths/\r\n"
                                                                 "allow-site kids example/x\r\n")))),
         true},
        {"a site that is no host name", frame("sites.dat", "only-approved 0\r\nsafe-search 1\r\nallow-site a b/c\r\n"), false},
        {"an approved address that is no web address",
         frame("sites.dat", "only-approved 0\r\nsafe-search 1\r\nallow-address javascript:alert(1)\r\n"), false},
        {"another file of the folder", frame("data.dat", "starturls\r\n1\r\nmainurls\r\nendurls\r\n"), false},
        {"a path out of the folder", frame("../setup.dat", setup), false},
        {"a line the window would not write", frame("setup.dat", setup + "extra\r\n"), false},
        {"line ends of another kind", frame("setup.dat", QByteArray::fromStdString(setup).replace("\r\n", "\n").toStdString()), false},
        {"a list entry that is no web address", frame("pardata.dat", listFileBytes({"javascript:alert(1)"})), false},
        {"a control character in an address", frame("pardata.dat", "http://a.example/\x1b[2J\r\n"), false},
        {"bytes cut short", frame("setup.dat", setup).substr(0, 20), false},
        {"a good file with a bad one: neither", frame("setup.dat", setup) + frame("pardata.dat", "nonsense\r\n"), false},
        {"the same file twice", frame("setup.dat", setup) + frame("setup.dat", setup), false},
        {"nothing", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        freshFolder();
        const auto files = [] {
            return readFileBytes(Folder + "setup.dat") + readFileBytes(Folder + "pardata.dat") +
                   readFileBytes(Folder + "sites.dat");
        };
        const std::string before = files();
        EXPECT_EQ(runHelper(c.input), c.written ? 0 : 1);
        const std::string after = files();
        EXPECT_EQ(after != before, c.written);
        EXPECT_EQ(fileExists(Folder + "setup.bak"), c.written && c.input.rfind("setup.dat", 0) == 0);
    }
    freshFolder();
    EXPECT_EQ(runHelper(frame("setup.dat", setup)), 0);
    EXPECT_EQ(readFileBytes(Folder + "setup.dat"), setup);
    EXPECT_EQ(std::filesystem::status(Folder + "setup.dat").permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0664));
}

TEST(Helper, NeverWritesThroughALinkPlacedInTheFolder) {
    freshFolder();
    const std::string outside = Folder + "../outside.txt";
    std::ofstream(outside) << "keep me";
    std::filesystem::remove(Folder + "pardata.dat");
    std::filesystem::create_symlink(outside, Folder + "pardata.dat");
    EXPECT_EQ(runHelper(frame("pardata.dat", listFileBytes({"http://a.example"}))), 1);
    EXPECT_EQ(readFileBytes(outside), "keep me");
    std::filesystem::remove(outside);
}

// The browser's side: the files framed for the helper, its refusal in a parent's words.
TEST(Helper, TheBrowserHandsItTheFilesAndSaysWhenAParentDidNotAllowIt) {
    freshFolder();
    const std::string setup = changedSetup();
    writeAsParent(Folder, {{"setup.dat", setup}}, {WENLOW_WRITE_TEST});
    EXPECT_EQ(readFileBytes(Folder + "setup.dat"), setup);
    try {
        writeAsParent(Folder, {{"setup.dat", "bad"}}, {WENLOW_WRITE_TEST});
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_STREQ(e.what(), ParentRefusedText);
    }
    // Refused, or said yes to by something that stored nothing (a "pkexec" of the child's own).
    SetupValues otherValues = readSetupFile(Folder + "setup.dat");
    otherValues.password = "other secret";
    const std::string other = setupFileBytes(otherValues);
    for (const char* helper : {"/bin/false", "/bin/true"}) {
        EXPECT_THROW(writeAsParent(Folder, {{"setup.dat", other}}, {helper}), EFileError) << helper;
        EXPECT_EQ(readFileBytes(Folder + "setup.dat"), setup) << helper;
    }
}

namespace {

struct Signed {
    int status = -1;
    std::string screen;  // what the authentication asked on the terminal
};

// A child's account runs pkexec with the helper (through a shell of its own, so the
// subject polkit checks is the child's); whoever is at the terminal answers `password`
// when the child's authentication agent asks.
Signed asChild(const std::string& input, const char* password) {
    const passwd* child = getpwnam(std::getenv("WENLOW_TEST_CHILD"));
    int in[2];
    if (!child || pipe(in) != 0) return {};
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        dup2(in[0], 0);
        close(in[1]);
        if (setgroups(0, nullptr) != 0 || setgid(child->pw_gid) != 0 || setuid(child->pw_uid) != 0) _exit(98);
        // The child's session agent (as a desktop has one) answers on the terminal;
        // pkexec runs once the agent is there.
        const std::string command =
            std::string("f=$(mktemp -u); mkfifo \"$f\"; pkttyagent --process $$ --notify-fd 5 5>\"$f\" & agent=$!; "
                        "cat \"$f\" > /dev/null; rm -f \"$f\"; pkexec ") +
            std::getenv("WENLOW_TEST_HELPER") + "; status=$?; kill $agent 2> /dev/null; exit $status";
        execle("/bin/sh", "sh", "-c", command.c_str(), nullptr,
               (char* const[]){const_cast<char*>("PATH=/usr/bin:/bin"), const_cast<char*>("SHELL=/bin/sh"), nullptr});
        _exit(97);
    }
    close(in[0]);
    if (write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) return {};
    close(in[1]);
    Signed out;
    // The agent turns the terminal's echo off after its prompt, dropping what was typed
    // before: the answer waits a moment, and is typed again while nothing happens.
    QElapsedTimer clock, prompted;
    clock.start();
    std::size_t seen = 0;
    char buffer[512];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (clock.elapsed() > 60000) {
            kill(-pid, SIGKILL);
            break;
        }
        if (poll(&p, 1, 100) > 0) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            out.screen.append(buffer, static_cast<std::size_t>(n));
        }
        const std::size_t prompt = out.screen.find("Password:", seen);
        if (prompt != std::string::npos) {
            seen = prompt + 1;
            prompted.start();
        }
        if (prompted.isValid() && prompted.elapsed() > 300) {
            const std::string line = std::string(password ? password : "") + "\n";
            if (write(master, line.data(), line.size()) < 0) break;
            prompted.invalidate();
            seen = out.screen.size();
        }
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

}  // namespace

TEST(Helper, OnlyAParentsSignInLetsAChildsAccountUseIt) {
    if (!std::getenv("WENLOW_TEST_POLKIT")) GTEST_SKIP() << "no polkit daemon and system bus of the test's own here";
    const std::string parent = std::getenv("WENLOW_TEST_PARENT");
    const struct {
        const char* name;
        const char* password;  // answered at the sign-in
        bool written;
    } cases[] = {
        {"a parent's password", std::getenv("WENLOW_TEST_PARENT_PASSWORD"), true},
        {"a wrong password", "guess", false},
        {"the child's own password", std::getenv("WENLOW_TEST_CHILD_PASSWORD"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        freshFolder();
        const std::string setup = changedSetup();
        // A sign-in the terminal lost (the agent's echo change can drop the answer) is
        // tried again; one that finished counts.
        Signed s;
        for (int attempt = 0; attempt < 3; ++attempt) {
            s = asChild(frame("setup.dat", setup), c.password);
            if (s.screen.find("==== AUTHENTICATION ") != std::string::npos) break;
        }
        SCOPED_TRACE(s.screen);
        // Only a member of wenlow-parents is offered for the sign-in.
        EXPECT_NE(s.screen.find(parent), std::string::npos);
        EXPECT_EQ(s.status == 0, c.written);
        EXPECT_EQ(readFileBytes(Folder + "setup.dat") == setup, c.written);
    }
}
