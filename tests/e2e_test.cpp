// End to end with the real browser engine on a display (Xvfb) and a page server on the
// loopback address.
#include "approval/urlok.h"
#include "platform/dialogs.h"
#include "platform/winsock.h"
#include "records/store.h"
#include "setup/form3.h"
#include "shell/browser.h"
#include "shell/form1.h"
#include "shell/requestgate.h"
#include "shell/webpane.h"
#include "shell/windows.h"
#include "support/endtoend.h"
#include "support/engine.h"
#include "support/engineforms.h"
#include "support/httpserver.h"
#include "support/recorder.h"
#include "support/tempdir.h"
#include "support/tool.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDesktopServices>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeData>
#include <QNetworkDatagram>
#include <QRadioButton>
#include <QTest>
#include <QTcpServer>
#include <QTimer>
#include <QUdpSocket>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

TEST_F(EndToEnd, StartsOnTheFirstListPageAndAskedAboutLinks) {
    start();
    EXPECT_EQ(left->view()->url(), QUrl::fromLocalFile(QString::fromStdString(dir.file("list1.html"))));
    EXPECT_EQ(left->view()->title(), "Cool Sites");
    EXPECT_TRUE(dialogs.shown.empty());
    ASSERT_EQ(leftAsked.size(), 1);  // the program's own navigation, raised by Navigate

    left->view()->page()->runJavaScript("document.querySelector('a').click();");
    ASSERT_TRUE(waitFor([&] { return leftAsked.size() > 1; }));
    EXPECT_EQ(leftAsked[1], "https://www.nasa.gov/learning-resources/for-kids-and-students/");
    // Approved (it is in the main list): it goes to the right pane; the left one stays.
    ASSERT_TRUE(waitFor([&] { return !rightAsked.isEmpty(); }));
    EXPECT_EQ(rightAsked[0], leftAsked[1]);
    EXPECT_EQ(left->view()->url(), QUrl::fromLocalFile(QString::fromStdString(dir.file("list1.html"))));
}

TEST_F(EndToEnd, LinksAreApprovedRefusedAndRedirectsStopped) {
    LoopbackHttpServer server;
    server.page("/ok", "<html><head><title>Fine page</title></head><body>fine</body></html>");
    server.page("/blocked", "<html><head><title>Blocked</title></head><body>no</body></html>");
    server.redirect("/redirect", server.url("/blocked"));
    const std::string list = "<html><head><title>Test list</title></head><body>"
                             "<a id='ok' href='" + server.url("/ok").toStdString() + "'>ok</a> "
                             "<a id='blocked' href='" + server.url("/blocked").toStdString() + "'>blocked</a> "
                             "<a id='redirect' href='" + server.url("/redirect").toStdString() + "'>redirect</a>"
                             "</body></html>";
    dir.write("list1.html", list);
    dir.write("setup.dat", "\r\n11111100\r\n\r\n111111111\r\n100000000\r\nlist1.html\r\n");
    dir.write("data.dat", "starturls\r\n1" + server.url("/blocked").toStdString() + "\r\nmainurls\r\nendurls\r\n");
    start();
    const QUrl listUrl = left->view()->url();

    click(left, "blocked");
    ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(dialogs.shown[0], (Shown{"message", RefusedLeftText, "Error"}));
    EXPECT_TRUE(rightAsked.isEmpty());
    EXPECT_FALSE(server.requested.contains("/blocked"));

    click(left, "ok");
    ASSERT_TRUE(waitFor([&] { return right->view()->title() == "Fine page"; }));
    EXPECT_EQ(left->view()->url(), listUrl);
    EXPECT_EQ(form1->windowTitle(), "Wenlow Explorer - Fine page");

    dialogs.clear();
    click(left, "redirect");
    ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(dialogs.shown[0], (Shown{"message", RefusedRightText, "Error"}));
    EXPECT_TRUE(waitFor([&] { return rightLoads > 1 || !right->view()->page()->isLoading(); }, 3000));
    EXPECT_EQ(right->view()->url(), QUrl(server.url("/ok")));
    EXPECT_FALSE(server.requested.contains("/blocked"));
    EXPECT_EQ(left->view()->url(), listUrl);
}

TEST_F(EndToEnd, AutomaticUpdateBlocksANewlyListedLink) {
    LoopbackHttpServer server;
    server.page("/fresh", "<html><head><title>Fresh</title></head><body>fresh</body></html>");
    server.answers["/lists/data.dat"] =
        "HTTP/1.0 200 OK\r\n\r\nstarturls\r\n1" + server.url("/fresh").toUtf8().toUpper() + "\r\nmainurls\r\nendurls\r\n";
    wsock::AddTestRoute("lists.e2e.invalid", 80, server.serverPort());
    dir.write("list1.html", "<html><head><title>List</title></head><body><a id='fresh' href='" +
                                server.url("/fresh").toStdString() + "'>fresh</a></body></html>");
    dir.write("setup.dat", "\r\n11111011\r\nlists.e2e.invalid/lists/data.dat\r\n111111111\r\n100000000\r\nlist1.html\r\n");
    start();
    ASSERT_TRUE(waitFor([&] { return !form1->Shape1->isHidden(); })) << "no update indicator";
    EXPECT_EQ(server.requested.front(), "/lists/data.dat");
    click(left, "fresh");
    ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(dialogs.shown[0], (Shown{"message", RefusedLeftText, "Error"}));
    EXPECT_FALSE(server.requested.contains("/fresh"));
    wsock::ClearTestRoutes();
}

namespace {

struct Trick {
    const char* name;
    const char* path;
    std::string page;     // what the approved page does to reach the blocked one
    const char* click;    // elements to click in turn ("a,b"), or nothing: the page acts by itself
    bool newWindows;      // the new-window switch
    const char* message;  // what the child is told
};

}  // namespace

TEST_F(EndToEnd, HostilePagesCannotGetAroundTheRules) {
    LoopbackHttpServer server;
    const std::string blocked = server.url("/blocked").toStdString();
    server.page("/blocked", "<html><head><title>Blocked</title></head><body>blocked</body></html>");
    server.answers["/moved"] = "HTTP/1.0 301 Moved Permanently\r\nLocation: " + QByteArray::fromStdString(blocked) +
                               "\r\nContent-Length: 0\r\n\r\n";
    const std::string port = std::to_string(server.serverPort());
    const std::string goBlocked = "<a id='go' href='" + blocked + "'>go</a>";
    const Trick tricks[] = {
        // A page opened at a #fragment of itself is a load the engine never asks about.
        {"a link after a move to a #fragment", "/same#a", "<a id='a'>a</a>" + goBlocked, "go", true, RefusedRightText},
        {"a link after a new window at a #fragment", "/samewin",
         "<button id='self' onclick=\"window.open(location.href + '#x')\">x</button>" + goBlocked, "self,go", false,
         RefusedRightText},
        {"user info before the host", "/userinfo", "<a id='go' href='http://kid@127.0.0.1:" + port + "/blocked'>go</a>",
         "go", true, RefusedRightText},
        {"IPv4 written as IPv6", "/mapped", "<a id='go' href='http://[::ffff:127.0.0.1]:" + port + "/blocked'>go</a>",
         "go", true, RefusedRightText},
        {"link with target _blank, new windows disabled", "/blank",
         "<a id='go' target='_blank' href='" + blocked + "'>go</a>", "go", true, NewWindowText},
        {"link with target _blank, new windows allowed", "/blank2",
         "<a id='go' target='_blank' href='" + blocked + "'>go</a>", "go", false, RefusedRightText},
        {"window.open, new windows disabled", "/open", "<button id='go' onclick=\"window.open('" + blocked + "')\">go</button>", "go", true,
         NewWindowText},
        {"window.open, new windows allowed", "/open2", "<button id='go' onclick=\"window.open('" + blocked + "')\">go</button>",
         "go", false, RefusedRightText},
        {"meta refresh", "/refresh", "<meta http-equiv='refresh' content='0;url=" + blocked + "'>", nullptr, true,
         RefusedRightText},
        {"script location change", "/script", "<script>location.href='" + blocked + "';</script>", nullptr, true,
         RefusedRightText},
        {"form sent to a blocked address", "/form",
         "<form method='post' action='" + blocked + "'><input name='q' value='x'><input id='go' type='submit'></form>",
         "go", true, RefusedRightText},
        {"server redirect 301", "/moved-link", "<a id='go' href='" + server.url("/moved").toStdString() + "'>go</a>",
         "go", true, RefusedRightText},
    };
    for (const Trick& t : tricks) server.page(QString(t.path).section('#', 0, 0), QByteArray::fromStdString("<html><head><title>Trick</title>" + t.page + "</head><body>" + t.page + "</body></html>"));
    dir.write("data.dat", "starturls\r\n1" + blocked + "\r\nmainurls\r\nendurls\r\n");
    dir.write("setup.dat", "\r\n11111100\r\n\r\n111111111\r\n100000000\r\nlist1.html\r\n");
    start();
    const QUrl listUrl = left->view()->url();

    for (const Trick& t : tricks) {
        SCOPED_TRACE(t.name);
        form1->Form3->CheckBox3->setChecked(t.newWindows);
        dialogs.clear();
        const int loadsBefore = rightLoads;
        const QString page = server.url(t.path);
        form1->WebBrowser2->Navigate(page.section('#', 0, 0));
        ASSERT_TRUE(waitFor([&] { return rightLoads > loadsBefore || !dialogs.shown.empty(); }));
        if (page.contains('#')) form1->WebBrowser2->Navigate(page);
        for (const QString& id : QString(t.click).split(',', Qt::SkipEmptyParts)) {
            ASSERT_TRUE(waitFor([&] { return right->view()->url().matches(QUrl(page), QUrl::RemoveFragment); }));
            waitFor([] { return false; }, 200);
            click(right, id);
        }
        ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }, 8000)) << "nothing refused it";
        waitFor([] { return false; }, 300);  // anything more would show now
        EXPECT_EQ(dialogs.shown, (std::vector<Shown>{{"message", t.message, "Error"}}));
        EXPECT_TRUE(right->view()->url().matches(QUrl(page), QUrl::RemoveFragment)) << right->view()->url().toString().toStdString();
        EXPECT_EQ(left->view()->url(), listUrl);
        EXPECT_FALSE(server.requested.contains("/blocked"));
    }
}

TEST_F(EndToEnd, ALocalStartAddressMayCarryAFragment) {
    dir.write("setup.dat", "\r\n11111100\r\n\r\n111111111\r\n100000000\r\nlist1.html#top\r\n");
    start();
    QUrl expected = QUrl::fromLocalFile(QString::fromStdString(dir.file("list1.html")));
    expected.setFragment("top");
    EXPECT_EQ(left->view()->url(), expected);
    EXPECT_EQ(left->view()->title(), "Cool Sites");
    EXPECT_TRUE(dialogs.shown.empty());
    // The site's button again: the same page at the same place, still the program's own.
    const int loads = leftLoads;
    form1->SpeedButton1Click();
    waitFor([&] { return leftLoads > loads; }, 2000);
    EXPECT_EQ(left->view()->url(), expected);
    EXPECT_TRUE(rightAsked.isEmpty());
    EXPECT_TRUE(dialogs.shown.empty());
}

// A list page on a web server is the program's own load even where the rules refuse its
// server; what the page then asks for is not.
TEST_F(EndToEnd, AWebListPageOnARefusedServerLoadsButNotItsPictures) {
    LoopbackHttpServer server;
    server.page("/list", "<html><head><title>Web list</title></head><body><img src='/list-picture'></body></html>");
    dir.write("data.dat", "starturls\r\n1" + server.url("/").toStdString() + "\r\nmainurls\r\nendurls\r\n");
    dir.write("setup.dat", "\r\n11111100\r\n\r\n111111111\r\n100000000\r\n" + server.url("/list").toStdString() + "\r\n");
    start();
    waitFor([] { return false; }, 500);
    EXPECT_EQ(left->view()->title(), "Web list");
    EXPECT_TRUE(server.requested.contains("/list"));
    EXPECT_FALSE(server.requested.contains("/list-picture"));
    EXPECT_TRUE(dialogs.shown.empty());
}

// An approved page asks for a refused and an approved twin of every kind of request:
// none of the refused ones reaches the server, every approved one does where the engine
// sends one. Workers' sockets go to a refused path of a partly approved host; WebRTC to a
// host refused whole, over UDP and TCP, from the page and from a fresh frame of it.
TEST_F(EndToEnd, EveryRequestAPageMakesMeetsTheRules) {
    LoopbackHttpServer server;
    // Where a picture is sent on to a secure address: an approved host, and one refused
    // whole by a domain entry (the engine would tell either no more than its host).
    LoopbackHttpServer secureOk, secureNo;
    server.redirect("/ok-securehop", QString("https://127.0.0.1:%1/ok").arg(secureOk.serverPort()));
    server.redirect("/no-securehop", QString("https://localhost:%1/no").arg(secureNo.serverPort()));
    const QString ws = server.url("").replace("http:", "ws:");
    const QStringList kinds = {"style", "script", "prefetch", "frame", "image", "fetch", "xhr", "socket",
                               "beacon", "newimage", "form", "redirect", "imagehop", "fetchhop", "workersocket"};
    // Sockets of workers the pages run none of: neither twin ever leaves.
    const QStringList never = {"sharedsocket", "datasharedsocket", "blobsharedsocket", "servicesocket", "shared.js",
                               "service.js"};
    QString body;
    for (const QString twin : {"ok", "no"}) {
        const QString at = "/" + twin + "/";
        body += QString("<link rel='stylesheet' href='%1style'><script src='%1script'></script>"
                        "<link rel='prefetch' href='%1prefetch'><iframe src='%1frame'></iframe><img src='%1image'>"
                        "<iframe name='%2target'></iframe>"
                        "<form id='%2form' target='%2target' method='post' action='%1form'><input name='q' value='x'></form>"
                        "<iframe src='/%2-redirect'></iframe><img src='/%2-imagehop'><img src='/%2-securehop'>"
                        "<script>fetch('%1fetch').catch(() => {}); fetch('/%2-fetchhop').catch(() => {});"
                        "var x = new XMLHttpRequest(); x.open('GET', '%1xhr'); x.send();"
                        "try { new WebSocket('%3%1socket'); } catch (e) {}"
                        "navigator.sendBeacon('%1beacon', 'sent out');"
                        "new Image().src = '%1newimage';"
                        "document.getElementById('%2form').submit();</script>")
                    .arg(at, twin, ws);
        // An approved address that the server sends on to the twin.
        for (const QString hop : {"redirect", "imagehop", "fetchhop"}) server.redirect("/" + twin + "-" + hop, at + hop);
    }
    // Each worker kind, from an approved script, opens both twins of its socket; a shared
    // worker also from a data: and a blob: address, which no request gate hears of.
    const auto sockets = [&](const QString& kind) {
        return QString("for (const t of ['ok', 'no']) try { new WebSocket('%1/' + t + '/%2socket'); } catch (e) {}")
            .arg(ws, kind);
    };
    for (const QString kind : {"worker", "shared", "service"})
        server.answers["/ok/" + kind + ".js"] =
            "HTTP/1.0 200 OK\r\nContent-Type: text/javascript\r\n\r\n" + sockets(kind).toUtf8();
    body += QString("<script>new Worker('/ok/worker.js');"
                    "try { new SharedWorker('/ok/shared.js'); } catch (e) {}"
                    "try { new SharedWorker('data:text/javascript,' + encodeURIComponent(\"%1\")); } catch (e) {}"
                    "try { new SharedWorker(URL.createObjectURL(new Blob([\"%2\"], {type: 'text/javascript'}))); }"
                    " catch (e) {}"
                    "navigator.serviceWorker.register('/ok/service.js').catch(() => {});</script>")
                .arg(sockets("datashared"), sockets("blobshared"));
    // WebRTC to a host the rules refuse whole: STUN and TURN over UDP, TURN over TCP.
    QUdpSocket udp;
    ASSERT_TRUE(udp.bind(QHostAddress("127.0.0.3"), 0));
    QTcpServer tcp;
    ASSERT_TRUE(tcp.listen(QHostAddress("127.0.0.3"), 0));
    int udpPackets = 0, tcpConnections = 0;
    QObject::connect(&udp, &QUdpSocket::readyRead, &udp, [&] {
        while (udp.hasPendingDatagrams()) {
            udp.receiveDatagram();
            ++udpPackets;
        }
    });
    QObject::connect(&tcp, &QTcpServer::newConnection, &tcp, [&] {
        while (QTcpSocket* s = tcp.nextPendingConnection()) {
            ++tcpConnections;
            s->deleteLater();
        }
    });
    body += QString("<script>window.rtc = [];"
                    "function call(PC, from) { const pc = new PC({iceServers: [{urls: 'stun:127.0.0.3:%1'},"
                    " {urls: ['turn:127.0.0.3:%1?transport=udp', 'turn:127.0.0.3:%2?transport=tcp'],"
                    " username: 'anything the page likes', credential: 'x'}]});"
                    " pc.createDataChannel('d'); pc.createOffer().then(o => pc.setLocalDescription(o))"
                    ".then(() => window.rtc.push(from)); }"
                    "try { call(RTCPeerConnection, 'page'); } catch (e) {}"
                    "try { const f = document.createElement('iframe'); document.body.appendChild(f);"
                    " call(f.contentWindow.RTCPeerConnection, 'frame'); } catch (e) {}</script>")
                .arg(udp.localPort())
                .arg(tcp.serverPort());
    server.page("/page", ("<html><head><title>Requests</title></head><body>" + body + "</body></html>").toUtf8());
    dir.write("data.dat", "starturls\r\n1" + server.url("/no/").toStdString() +
                              "\r\n1http://127.0.0.3\r\n2localhost\r\nmainurls\r\nendurls\r\n");
    start();
    form1->WebBrowser2->Navigate(server.url("/page"));
    auto arrived = [&](const QString& path) {
        return std::any_of(server.requested.begin(), server.requested.end(),
                           [&](const QString& r) { return r == path; });
    };
    const bool all = waitFor([&] {
        return std::all_of(kinds.begin(), kinds.end(), [&](const QString& k) { return arrived("/ok/" + k); });
    }, 15000);
    // Offers made, so WebRTC ran and looked for its servers (or was taken from the page).
    QString offered;
    waitFor([&] {
        right->view()->page()->runJavaScript("window.rtc.join()", [&](const QVariant& v) { offered = v.toString(); });
        return offered.contains("frame");
    }, 5000);
    waitFor([] { return false; }, 1500);  // anything refused that slipped through would be in by now
    for (const QString& kind : kinds) {
        EXPECT_TRUE(arrived("/ok/" + kind)) << "approved " << kind.toStdString() << " never asked for";
        EXPECT_FALSE(arrived("/no/" + kind)) << "refused " << kind.toStdString() << " reached the server";
    }
    for (const QString& kind : never)
        EXPECT_FALSE(arrived("/ok/" + kind) || arrived("/no/" + kind)) << kind.toStdString() << " left";
    EXPECT_TRUE(all);
    EXPECT_GT(secureOk.connections, 0) << "the approved secure host was never tried";
    EXPECT_EQ(secureNo.connections, 0) << "the refused secure host was reached";
    EXPECT_EQ(udpPackets, 0) << "WebRTC sent UDP to a refused host (offers: " << offered.toStdString() << ")";
    EXPECT_EQ(tcpConnections, 0) << "WebRTC reached a refused host over TCP";
    EXPECT_TRUE(dialogs.shown.empty());  // subresources and frames are refused without a box
    EXPECT_EQ(right->view()->url(), QUrl(server.url("/page")));
}

// The windows go before the profile whose requests their rules decide, and a page may
// still send a request while it closes: from the moment they start to go, the gate asks
// them nothing and lets nothing through.
TEST_F(EndToEnd, NothingAsksTheWindowsOnceTheyGo) {
    LoopbackHttpServer server;
    server.page("/page", "<html><head><title>Leaving</title><script>addEventListener('pagehide', () => "
                         "navigator.sendBeacon('/gone', 'x'));</script></head><body>bye</body></html>");
    start();
    form1->WebBrowser2->Navigate(server.url("/page"));
    ASSERT_TRUE(waitFor([&] { return right->view()->title() == "Leaving"; }));
    const RequestGate* gate = &browser->profile().gate();
    const QByteArray approved = server.url("/page").toLatin1();
    ASSERT_TRUE(gate->allowsAddress(approved, false));
    std::vector<bool> answers;
    const auto ask = [&] { answers.push_back(gate->allowsAddress(approved, false)); };
    QObject::connect(form1->Form3, &QObject::destroyed, ask);
    QObject::connect(form1, &QObject::destroyed, ask);
    browser.reset();
    waitFor([] { return false; }, 1000);
    EXPECT_EQ(answers, (std::vector<bool>{false, false}));
    EXPECT_FALSE(server.requested.contains("/gone"));
}

// What a page may ask of the browser besides pages: nothing is saved, no permission given.
TEST_F(EndToEnd, SideDoorsStayShut) {
    LoopbackHttpServer server;
    server.answers["/file.zip"] = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                  "Content-Disposition: attachment; filename=x.zip\r\nContent-Length: 3\r\n\r\nabc";
    server.page("/asks", "<html><head><title>Asks</title></head><body><a id='save' href='/file.zip'>save</a></body></html>");
    start();
    form1->WebBrowser2->Navigate(server.url("/asks"));
    ASSERT_TRUE(waitFor([&] { return right->view()->title() == "Asks"; }));
    const struct {
        const char* script;  // sets the title to what the page was answered
        const char* answer;
    } asks[] = {
        {"navigator.geolocation.getCurrentPosition(() => document.title = 'given', () => document.title = 'refused')",
         "refused"},
        {"Notification.requestPermission().then(p => document.title = p)", "denied"},
        {"navigator.mediaDevices.getUserMedia({video: true}).then(() => document.title = 'given',"
         " () => document.title = 'refused')",
         "refused"},
    };
    for (const auto& ask : asks) {
        SCOPED_TRACE(ask.script);
        right->view()->page()->runJavaScript("document.title = 'asking';");
        ASSERT_TRUE(waitFor([&] { return right->view()->title() == "asking"; }));
        right->view()->page()->runJavaScript(ask.script);
        EXPECT_TRUE(waitFor([&] { return right->view()->title() != "asking"; }, 5000)) << "no answer";
        EXPECT_EQ(right->view()->title(), ask.answer);
    }
    click(right, "save");
    ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(dialogs.shown, (std::vector<Shown>{{"message", DownloadRefusedText, "Error"}}));
}

// A link or file dropped on a pane meets the rules of a click: the engine asks for a new
// window, and that request meets the new-window switch and then the rules.
TEST_F(EndToEnd, ADroppedLinkMeetsTheRulesOfAClick) {
    LoopbackHttpServer server;
    server.page("/blocked", "<html><head><title>Blocked</title></head><body>b</body></html>");
    server.page("/fine", "<html><head><title>Fine</title></head><body>f</body></html>");
    server.page("/start", "<html><head><title>Start</title></head><body>s</body></html>");
    dir.write("data.dat", "starturls\r\n1" + server.url("/blocked").toStdString() + "\r\nmainurls\r\nendurls\r\n");
    start();
    const struct {
        QUrl dropped;
        bool newWindows;      // the new-window switch
        const char* message;  // what the child is told, or nothing
        QString shown;        // what the right pane shows then
    } drops[] = {
        {QUrl(server.url("/blocked")), true, NewWindowText, server.url("/start")},
        {QUrl(server.url("/blocked")), false, RefusedRightText, server.url("/start")},
        {QUrl::fromLocalFile("/etc/hostname"), false, RefusedRightText, server.url("/start")},
        {QUrl(server.url("/fine")), false, nullptr, server.url("/fine")},
    };
    for (const auto& d : drops) {
        SCOPED_TRACE(d.dropped.toString().toStdString());
        form1->WebBrowser2->Navigate(server.url("/start"));
        ASSERT_TRUE(waitFor([&] { return right->view()->title() == "Start"; }));
        form1->Form3->CheckBox3->setChecked(d.newWindows);
        dialogs.clear();
        QWidget* target = right->view()->focusProxy() ? right->view()->focusProxy() : right->view();
        QMimeData mime;
        mime.setUrls({d.dropped});
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDragMoveEvent move(at, Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &move);
        QDropEvent drop(at, Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        if (d.message) {
            ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }, 5000)) << "nothing refused it";
            EXPECT_EQ(dialogs.shown, (std::vector<Shown>{{"message", d.message, "Error"}}));
        } else {
            EXPECT_TRUE(waitFor([&] { return right->view()->title() == "Fine"; }, 5000));
            EXPECT_TRUE(dialogs.shown.empty());
        }
        EXPECT_EQ(right->view()->url(), QUrl(d.shown));
        EXPECT_FALSE(server.requested.contains("/blocked"));
    }
}

namespace {

// Stands in for the desktop: what the engine hands over to be opened elsewhere.
class Desktop : public QObject {
    Q_OBJECT
public:
    explicit Desktop(const QStringList& schemes) : schemes_(schemes) {
        for (const QString& s : schemes_) QDesktopServices::setUrlHandler(s, this, "open");
    }
    ~Desktop() override {
        for (const QString& s : schemes_) QDesktopServices::unsetUrlHandler(s);
    }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }

private:
    QStringList schemes_;
};

}  // namespace

// A link in a frame that the engine would give to the desktop (a mail or ftp address)
// meets the rules of any link: clicked or taken with Enter, it opens only where they let it.
TEST_F(EndToEnd, AFramesLinkForTheDesktopMeetsTheRules) {
    LoopbackHttpServer server;
    server.page("/framed", "<html><head><title>Framed</title></head><body style='margin:0'>"
                           "<iframe id='f' src='/inner' style='border:0;width:400px;height:200px'></iframe></body></html>");
    server.page("/inner", "<html><body style='margin:0'>"
                          "<a id='mail' href='mailto:kid@refused.example' style='display:block;height:100px'>mail</a>"
                          "<a id='ftp' href='ftp://refused.example/games' style='display:block;height:100px'>ftp</a>"
                          "<script>for (const a of document.links) a.addEventListener('click', e => {"
                          " if (e.isTrusted) parent.document.title = 'clicked'; });</script></body></html>");
    Desktop desktop({"mailto", "ftp"});
    records = std::make_unique<Records>(std::make_unique<FileStore>(dir.path()));
    start();
    const struct {
        bool emailSwitch;  // on: e-mail addresses refused
        bool byKey;
        const char* id;
        bool opens;
    } links[] = {
        {true, false, "mail", false}, {true, true, "mail", false}, {true, false, "ftp", false},
        {true, true, "ftp", false},   {false, false, "mail", true}, {false, true, "mail", true},
    };
    for (const auto& l : links) {
        SCOPED_TRACE(std::string(l.id) + (l.byKey ? " by Enter" : " by a click") + (l.emailSwitch ? "" : ", e-mail allowed"));
        form1->Form3->CheckBox1->setChecked(l.emailSwitch);
        desktop.opened.clear();
        form1->WebBrowser2->Navigate(server.url("/framed"));
        ASSERT_TRUE(waitFor([&] { return right->view()->title() == "Framed" && !right->view()->page()->isLoading(); }));
        const auto js = [&](const QString& script) {
            QVariant answer;
            right->view()->page()->runJavaScript(script, [&](const QVariant& v) { answer = v.isValid() ? v : "none"; });
            waitFor([&] { return answer.isValid(); });
            return answer.toString();
        };
        const QString link = QString("document.getElementById('f').contentDocument.getElementById('%1')").arg(l.id);
        ASSERT_TRUE(waitFor([&] { return js(link + " !== null") == "true"; }));
        // The engine may drop input that comes before the page is first shown: press again
        // until the link reports a click of the child's own.
        QWidget* target = right->view()->focusProxy() ? right->view()->focusProxy() : right->view();
        for (int tries = 0; tries < 10 && right->view()->title() != "clicked"; ++tries) {
            if (l.byKey) {
                js(link + ".focus()");
                QTest::keyClick(target, Qt::Key_Return);
            } else {
                QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(50, l.id == std::string("mail") ? 50 : 150));
            }
            waitFor([&] { return right->view()->title() == "clicked"; }, 1000);
        }
        ASSERT_EQ(right->view()->title(), "clicked");
        if (l.opens) {
            EXPECT_TRUE(waitFor([&] { return !desktop.opened.isEmpty(); }, 5000));
        } else {
            waitFor([] { return false; }, 1500);
            EXPECT_TRUE(desktop.opened.isEmpty()) << desktop.opened.value(0).toString().toStdString();
        }
    }
    EXPECT_TRUE(dialogs.shown.empty());
    // Each refusal is in the records as a frame's, with the page it was on.
    form1->flushRecords();
    std::map<std::string, std::uint64_t> refused;
    for (const Record& r : records->recent(100))
        if (r.kind == RecordKind::Frame && r.page == server.url("/framed").toStdString()) refused[r.address] += r.count;
    ASSERT_EQ(refused.size(), 2);
    for (const char* address : {"ftp://refused.example/games", "mailto:kid@refused.example"})
        EXPECT_GE(refused[address], 2) << address;  // by a click and by Enter
}

namespace {

// A page that records what the engine asks to navigate to, and goes nowhere.
class RecordingPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;
    QList<QUrl> asked;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (url.scheme() == "data" || url == QUrl("http://127.0.0.1:9/base")) return true;
        asked << url;
        return false;
    }
};

}  // namespace

// The engine's own reading of each address in the table the approval tests use: what its
// parser makes of it, and what a click on a link to it reports to the program.
TEST(EngineReports, AddressesAsTheTableSays) {
    QWebEngineProfile profile;  // of its own: no gate between the page and the engine
    RecordingPage page(&profile);
    bool loaded = false;
    QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool) { loaded = true; });
    page.setHtml("<html><body></body></html>", QUrl("http://127.0.0.1:9/base"));
    ASSERT_TRUE(waitFor([&] { return loaded; }));
    for (const EngineForm& f : EngineForms) {
        SCOPED_TRACE(f.given);
        const QString given = QJsonDocument(QJsonArray{QString::fromUtf8(f.given)}).toJson(QJsonDocument::Compact);
        QVariant href;
        bool parsed = false;
        page.runJavaScript("(function(a) { try { return new URL(a[0]).href; } catch (e) { return null; } })(" + given + ")",
                           [&](const QVariant& v) { href = v, parsed = true; });
        ASSERT_TRUE(waitFor([&] { return parsed; }));
        page.asked.clear();
        page.runJavaScript("(function(a) { var x = document.createElement('a'); x.href = a[0];"
                           " document.body.appendChild(x); x.click(); })(" + given + ")");
        const bool web = f.reported && QUrl::fromEncoded(f.reported).scheme().startsWith("http");
        waitFor([&] { return !page.asked.isEmpty(); }, web ? 5000 : 300);
        if (!f.reported) {
            // No address the engine would go to: its parser finds none, or it goes nowhere.
            EXPECT_TRUE(href.isNull() || page.asked.isEmpty()) << href.toString().toStdString();
            EXPECT_TRUE(page.asked.isEmpty());
            continue;
        }
        EXPECT_EQ(href.toString().toStdString(), f.reported);
        ASSERT_EQ(page.asked.size(), 1);
        const QUrl expected = QUrl::fromEncoded(f.reported);
        EXPECT_EQ(page.asked[0].isValid(), expected.isValid());
        EXPECT_EQ(page.asked[0].toEncoded().toStdString(), expected.toEncoded().toStdString());
    }
}

// A fragment changes nothing: a page at a parent's entry or a list's exact entry is refused
// however the link ends, and the server never hears of it.
TEST_F(EndToEnd, AFragmentChangesNothing) {
    LoopbackHttpServer server;
    for (const char* path : {"/par", "/three", "/fine"})
        server.page(path, QByteArray("<html><head><title>") + path + "</title></head><body>x</body></html>");
    const std::string links = "<a id='par' href='/par#f'>p</a><a id='three' href='/three#f'>t</a>"
                              "<a id='fine' href='/fine#f'>f</a>";
    server.page("/start", QByteArray::fromStdString("<html><head><title>Start</title></head><body>" + links + "</body></html>"));
    dir.write("data.dat", "starturls\r\n3" + server.url("/three").toStdString() + "\r\nmainurls\r\nendurls\r\n");
    dir.write("pardata.dat", server.url("/par").toStdString() + "\r\n");
    start();
    form1->WebBrowser2->Navigate(server.url("/start"));
    ASSERT_TRUE(waitFor([&] { return right->view()->title() == "Start"; }));
    for (const char* id : {"par", "three"}) {
        SCOPED_TRACE(id);
        dialogs.clear();
        click(right, id);
        ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }, 8000)) << "nothing refused it";
        EXPECT_EQ(dialogs.shown, (std::vector<Shown>{{"message", RefusedRightText, "Error"}}));
    }
    click(right, "fine");
    EXPECT_TRUE(waitFor([&] { return right->view()->title() == "/fine"; }));
    EXPECT_FALSE(server.requested.contains("/par"));
    EXPECT_FALSE(server.requested.contains("/three"));
}

namespace {

// The title the window manager is given for a window (the X property it reads).
std::string shownTitle(QWidget* window) {
    const ToolRun r = runTool("xprop -id " + std::to_string(window->winId()) + " _NET_WM_NAME 2>&1");
    const std::size_t open = r.out.find('"'), close = r.out.rfind('"');
    return open == std::string::npos || close == open ? r.out : r.out.substr(open + 1, close - open - 1);
}

}  // namespace

// What the window manager shows: the program named once in the main window's title, and
// a message box captioned "Error" alone.
TEST_F(EndToEnd, TitlesNameTheProgramOnce) {
    LoopbackHttpServer server;
    server.page("/learn", "<html><head><title>Learn</title></head><body>learn</body></html>");
    start();
    form1->WebBrowser2->Navigate(server.url("/learn"));
    EXPECT_TRUE(waitFor([&] { return shownTitle(form1) == "Wenlow Explorer - Learn"; }, 10000)) << shownTitle(form1);

    QtDialogs shown;
    std::string caption;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box) return;
        caption = shownTitle(box);
        if (caption.find("Error") != std::string::npos) box->reject();  // the caption has been given
    });
    look.start(100);
    QTimer::singleShot(10000, [] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) box->reject();
    });
    shown.messageBox(RefusedRightText, "Error");
    EXPECT_EQ(caption, "Error");
}

// Only the approved sites, chosen in the window: a page of an approved site loads what it
// asks of that site, and nothing of another, neither asked for nor sent there on; the
// choice undone counts at once.
TEST_F(EndToEnd, OnlyTheApprovedSitesOpenForEveryRequest) {
    LoopbackHttpServer server;
    const QString other = QString("http://localhost:%1").arg(server.serverPort());
    server.redirect("/hop", other + "/no-hop");
    server.page("/page", ("<html><head><title>Approved</title></head><body><img src='/ok-image'><img src='" + other +
                          "/no-image'><img src='/hop'><iframe src='" + other + "/no-frame'></iframe></body></html>")
                             .toUtf8());
    server.page("/elsewhere", "<html><head><title>Elsewhere</title></head><body>e</body></html>");
    dir.write("sites.dat", "only-approved 1\r\nsafe-search 1\r\nallow-site 127.0.0.1\r\n");
    dir.write("list1.html", "<html><head><title>List</title></head><body><a id='other' href='" + other.toStdString() +
                                "/elsewhere'>other</a></body></html>");
    start();
    EXPECT_TRUE(form1->Form3->onlyApproved());
    form1->WebBrowser2->Navigate(server.url("/page"));
    EXPECT_TRUE(waitFor([&] { return server.requested.contains("/ok-image"); }));
    waitFor([] { return false; }, 1000);  // anything refused that slipped through would be in by now
    for (const char* refused : {"/no-image", "/no-hop", "/no-frame"}) EXPECT_FALSE(server.requested.contains(refused)) << refused;
    EXPECT_TRUE(server.requested.contains("/hop"));  // asked of the approved site; its answer led elsewhere
    EXPECT_TRUE(dialogs.shown.empty());

    click(left, "other");
    ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(dialogs.shown, (std::vector<Shown>{{"message", RefusedLeftText, "Error"}}));
    EXPECT_FALSE(server.requested.contains("/elsewhere"));

    form1->Form3->EverySiteButton->setChecked(true);
    form1->Form3->CheckBox15->setChecked(false);  // the sample verifies site 1's links
    dialogs.clear();
    click(left, "other");
    EXPECT_TRUE(waitFor([&] { return right->view()->title() == "Elsewhere"; }));
    EXPECT_TRUE(dialogs.shown.empty());
}

#include "e2e_test.moc"
