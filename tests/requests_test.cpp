// What a pane may open or a page may ask for, before and through the lists.
#include "approval/gate.h"

#include <gtest/gtest.h>

namespace {

const char* const Folder = "/opt/wenlow/";

PlainSettings allOn() {
    PlainSettings s;
    s.setup.options.fill(true);
    return s;
}

}  // namespace

TEST(Requests, WhatAPaneMayOpenAndWhatAPageMayAskFor) {
    LinkLists lists;
    lists.append({"1HTTP://BAD.EXAMPLE"}, {});
    const PlainSettings s = allOn();
    const struct {
        const char* address;
        bool navigation;  // as a page or frame; else as something a page loads
        bool resource;
    } cases[] = {
        {"http://good.example/", true, true},
        {"https://bad.example/x", false, false},
        {"ws://bad.example/socket", false, false},  // a socket compares as its web address
        {"wss://good.example/socket", true, true},
        {"file:///opt/wenlow/list1.html", true, true},
        {"file:///opt/wenlow/pictures/a%20b.png", true, true},
        {"file://localhost/opt/wenlow/list1.html", true, true},
        {"file:///opt/wenlow/../../etc/passwd", false, false},
        {"file:///opt/wenlow%2F..%2F..%2Fetc/passwd", false, false},
        {"file:///opt/wenlowx/list1.html", false, false},
        {"file:///opt/wenlow/", false, false},
        {"file://server/opt/wenlow/list1.html", false, false},
        {"file:///etc/passwd", false, false},
        {"about:blank", true, true},
        {"about:config", false, false},
        {"data:text/html,<b>hi</b>", false, true},  // a page's own pictures and fonts may stay
        {"blob:http://good.example/1234", false, true},
        {"filesystem:http://good.example/temporary/x", false, false},
        {"view-source:http://good.example/", false, false},
        {"chrome://settings", false, false},
        {"devtools://devtools/bundled/inspector.html", false, false},
        {"qrc:/page.html", false, false},
        {"javascript:alert(1)", false, false},
        {"wenlow:refused", true, true},
        {"mailto:someone@good.example", false, false},  // the e-mail switch is on
        {"ftp://good.example/file", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(requestAllowed(c.address, RequestKind::Navigation, s, lists, Folder), c.navigation) << c.address;
        EXPECT_EQ(requestAllowed(c.address, RequestKind::Resource, s, lists, Folder), c.resource) << c.address;
        EXPECT_EQ(requestVerdict(c.address, RequestKind::Navigation, s, lists, Folder).ok, c.navigation) << c.address;
    }
    PlainSettings mailOn = allOn();
    mailOn.setup.options[OptEmail - 1] = false;
    EXPECT_TRUE(requestAllowed("mailto:someone@good.example", RequestKind::Navigation, mailOn, lists, Folder));
    EXPECT_EQ(requestVerdict("file:///etc/passwd", RequestKind::Navigation, s, lists, Folder).rule,
              "file outside the program folder");
}

// A secure connection shows only its host: it is refused when every address there would
// be, and kept open whenever some address there could be approved.
TEST(Requests, ASecureConnectionIsRefusedOnlyForAHostRefusedWhole) {
    LinkLists lists;
    lists.append({"2BAD.EXAMPLE", "1HTTP://WHOLE.EXAMPLE", "1HTTP://PATH.EXAMPLE/games", "1HTTP://",
                  "4HTTP://KIDS.EXAMPLE/ok", "4HTTP://KIDS.EXAMPLEX.ORG", "5FINE.BAD.EXAMPLE", "1HTTP://PORT.EXAMPLE:8443",
                  "4HTTP://OPEN.EXAMPLE"},
                 {});
    PlainSettings s = allOn();
    const struct {
        const char* site;
        bool open;
    } cases[] = {
        {"https://bad.example", false},          // a "2" domain
        {"https://cdn.bad.example", false},      // below it
        {"https://fine.bad.example", true},      // "5" approves it
        {"https://notbad.example", false},       // refused by "1HTTP://" everywhere...
        {"https://open.example", true},          // ...unless a "4" entry approves the host
        {"https://kids.example", true},          // or an address on it
        {"https://kids.example:8443", false},    // but not on another port
        {"https://path.example", false},         // "1HTTP://" again: only a path refused by its own entry
        {"https://whole.example", false},
        {"https://WHOLE.EXAMPLE.", false},       // letter case and a trailing dot
        {"https://port.example:8443", false},
        {"http://bad.example", false},
        {"ftp://open.example", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(requestAllowed(c.site, RequestKind::Tunnel, s, lists, Folder), c.open) << c.site;
    // Without "1HTTP://", a path refused is not the whole host.
    LinkLists paths;
    paths.append({"1HTTP://PATH.EXAMPLE/games", "1HTTP://PATH.EXAMPLE/"}, {});
    EXPECT_TRUE(requestAllowed("https://path.example", RequestKind::Tunnel, s, paths, Folder));
    // With the list switched off nothing is refused whole.
    s.setup.options[OptPredefined - 1] = false;
    EXPECT_TRUE(requestAllowed("https://bad.example", RequestKind::Tunnel, s, lists, Folder));
}
