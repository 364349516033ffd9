// Safe search end to end: the real engine asks for searches and videos in their safe form,
// for a pane's own navigations, a page's frames and pictures alike. The search engines'
// and the video site's names lead to a server on the loopback address (directmain.cpp).
#include "setup/form3.h"
#include "shell/form1.h"
#include "shell/requestgate.h"
#include "shell/webpane.h"
#include "shell/windows.h"
#include "support/httpserver.h"
#include "support/recorder.h"
#include "support/tempdir.h"
#include "support/wait.h"

#include <QCheckBox>
#include <QWebEngineProfile>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace {

class SafeSearchEndToEnd : public ::testing::Test {
protected:
    ProgramFolder dir{true};
    RecordingDialogs dialogs;
    LoopbackHttpServer server;
    const TForm1* rules = nullptr;
    ProtectedProfile profile{QWebEngineProfile::defaultProfile(),
                             [this](std::string_view address, RequestKind kind) {
                                 return rules && rules->allows(address, kind);
                             },
                             [this] { return rules ? rules->rulesState() : RulesState{}; }, dialogs};
    ProgramWindows windows;

    void SetUp() override {
        profile.gate().setSafeSearch([this] { return rules && rules->safeSearch(); });
        windows = createWindows(dialogs, dir.path(), {}, [this](QWidget* parent) -> BrowserPane* {
            return new WebEnginePane(parent, &profile.gate());
        });
        rules = windows.form1.get();
        windows.form1->show();
        windows.form1->FormActivate();
    }
    void TearDown() override { rules = nullptr; }

    QString at(const char* host, const char* rest) const {
        return QString("http://%1:%2%3").arg(host).arg(server.serverPort()).arg(rest);
    }
    // The head of the request for a path, as the server got it.
    QByteArray head(const QString& path) const {
        for (const QByteArray& h : server.heads)
            if (h.startsWith("GET " + path.toLatin1() + " ")) return h;
        return {};
    }
};

}  // namespace

TEST_F(SafeSearchEndToEnd, SearchesAndVideosArriveInTheirSafeForm) {
    server.page("/page", ("<html><head><title>Page</title></head><body><iframe src='" +
                          at("www.bing.com", "/search?q=frame&adlt=off") + "'></iframe><img src='" +
                          at("duckduckgo.com", "/?q=picture") + "'></body></html>")
                             .toUtf8());
    const struct {
        QString opened;      // by the right pane
        const char* asked;   // what must not arrive
        const char* arrives;
        bool restricted;     // with "YouTube-Restrict: Strict"
    } cases[] = {
        {at("www.google.com", "/search?q=kittens&safe=off"), "/search?q=kittens&safe=off", "/search?q=kittens&safe=active",
         false},
        {at("search.yahoo.com", "/search?p=kittens"), "/search?p=kittens", "/search?p=kittens&vm=r", false},
        {at("www.youtube.com", "/results?search_query=kittens"), nullptr, "/results?search_query=kittens", true},
        {at("127.0.0.1", "/page"), "/search?q=frame&adlt=off", "/search?q=frame&adlt=strict", false},  // a frame
        {at("127.0.0.1", "/page"), "/?q=picture", "/?q=picture&kp=1", false},                          // a picture
    };
    const QWebEngineView* view = static_cast<WebEnginePane*>(windows.form1->WebBrowser2)->view();
    int loads = 0;
    QObject::connect(view->page(), &QWebEnginePage::loadFinished, [&loads] { ++loads; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arrives);
        const int before = loads;
        windows.form1->WebBrowser2->Navigate(c.opened);
        EXPECT_TRUE(waitFor([&] { return server.requested.contains(c.arrives); }, 10000)) << "never arrived; asked: " << server.requested.join(" ").toStdString();
        if (c.asked) {
            EXPECT_FALSE(server.requested.contains(c.asked));
        }
        EXPECT_EQ(head(c.arrives).toLower().contains("\r\nyoutube-restrict: strict\r\n"), c.restricted);
        // Loaded before the next case: the engine may let a load still on its way take the
        // place of one started after it.
        EXPECT_TRUE(waitFor([&] { return loads > before && view->url().host() == QUrl(c.opened).host(); }, 10000))
            << view->url().toString().toStdString();
    }
    EXPECT_TRUE(dialogs.shown.empty());

    // Switched off in the window: at once, as asked.
    windows.form3->SafeSearchBox->setChecked(false);
    const int before = loads;
    windows.form1->WebBrowser2->Navigate(at("www.google.com", "/search?q=dogs"));
    EXPECT_TRUE(waitFor([&] { return server.requested.contains("/search?q=dogs"); }, 10000));
    EXPECT_TRUE(waitFor([&] { return loads > before && view->url().host() == "www.google.com"; }, 10000));
    windows.form1->WebBrowser2->Navigate(at("www.youtube.com", "/results?search_query=dogs"));
    EXPECT_TRUE(waitFor([&] { return server.requested.contains("/results?search_query=dogs"); }, 10000));
    EXPECT_FALSE(head("/results?search_query=dogs").toLower().contains("youtube-restrict"));
}
