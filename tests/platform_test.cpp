#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/modules.h"
#include "platform/text.h"
#include "support/expect.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <thread>

TEST(Text, UpperAndLowerCaseChangeOnlyAsciiLetters) {
    EXPECT_EQ(upperAZ("mailto:\xe9z{}"), "MAILTO:\xe9Z{}");
    EXPECT_EQ(lowerAZ("HTTP://\xc9Z[]"), "http://\xc9z[]");
}

TEST(Text, Latin1AtTheQtEdge) {
    const std::string eight = "caf\xe9";
    EXPECT_EQ(fromAnsi(eight), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(toAnsi(fromAnsi(eight)), eight);
    EXPECT_EQ(toAnsi(QString::fromUtf8("\xe2\x82\xac")), "?");  // no 8-bit form
}

TEST(Text, FillInAndSlashes) {
    EXPECT_EQ(fillIn("Cannot open file %s", "/x/data.dat"), "Cannot open file /x/data.dat");
    EXPECT_EQ(stripTrailingSlashes("http://a///"), "http://a");
    EXPECT_EQ(stripTrailingSlashes("///"), "");
}

TEST(ErrorBox, FullStopAddedWhenTheLastCharacterSortsAfterIt) {
    EXPECT_EQ(applicationErrorText("File not found"), "File not found.");
    EXPECT_EQ(applicationErrorText("Done."), "Done.");
    EXPECT_EQ(applicationErrorText("Why?"), "Why?.");   // '?' sorts after '.'
    EXPECT_EQ(applicationErrorText("a-"), "a-");        // '-' sorts before '.'
    EXPECT_EQ(applicationErrorText("x\xe9"), "x\xe9.");
    EXPECT_EQ(applicationErrorText(""), "");
}

TEST(Guard, AnEscapingErrorReachesTheErrorBoxAndTheProgramGoesOn) {
    std::vector<std::string> shown;
    setApplicationErrorSink([&](const std::string& t) { shown.push_back(t); });
    guarded([] { throw EFileError("File not found"); });
    guarded([] { throw 42; });
    bool ran = false;
    guarded([&] { ran = true; });
    setApplicationErrorSink(nullptr);
    EXPECT_EQ(shown, (std::vector<std::string>{"File not found.", "Unknown error."}));
    EXPECT_TRUE(ran);
}

TEST(MessageWindow, PostedMessagesArriveInOrderOnTheGuiThread) {
    std::vector<Msg> got;
    std::vector<std::thread::id> threads;
    MessageWindow w([&](Msg& m) {
        got.push_back(m);
        threads.push_back(std::this_thread::get_id());
    });
    std::thread helper([&] { PostMessage(w.handle(), WM_USER + 1, 7, -3); });
    helper.join();
    PostMessage(w.handle(), WM_USER + 2, 8, 9);
    EXPECT_TRUE(got.empty());  // posted, never delivered inside the call
    ProcessMessages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, WM_USER + 1);
    EXPECT_EQ(got[0].wParam, 7u);
    EXPECT_EQ(got[0].lParam, -3);
    EXPECT_EQ(got[1].message, WM_USER + 2);
    EXPECT_EQ(threads[0], std::this_thread::get_id());
}

TEST(MessageWindow, PostingToADestroyedWindowIsRefused) {
    WindowHandle h;
    int delivered = 0;
    {
        MessageWindow w([&](Msg&) { ++delivered; });
        h = w.handle();
        EXPECT_TRUE(PostMessage(h, WM_USER, 0, 0));
    }
    EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
    ProcessMessages();
    EXPECT_EQ(delivered, 0);
}

TEST(TerminateFlag, SetAndCleared) {
    ClearTerminated();
    EXPECT_FALSE(Terminated());
    Terminate();
    EXPECT_TRUE(Terminated());
    ClearTerminated();
    EXPECT_FALSE(Terminated());
}

namespace {
int answer() { return 42; }
}  // namespace

TEST(Modules, LoadBindAndFreeByName) {
    RegisterModule("TEST32.DLL", {{"answer", reinterpret_cast<void*>(&answer)}});
    const ModuleHandle h = LoadLibrary("test32.dll");
    ASSERT_GE(h, MinModuleHandle);
    auto* fn = reinterpret_cast<int (*)()>(GetProcAddress(h, "answer"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 42);
    EXPECT_EQ(GetProcAddress(h, "Answer"), nullptr);  // entry names are exact
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_FALSE(FreeLibrary(h));
    EXPECT_EQ(GetProcAddress(h, "answer"), nullptr);
    UnregisterModule("TEST32.DLL");
    EXPECT_EQ(LoadLibrary("TEST32.DLL"), 0u);
}
