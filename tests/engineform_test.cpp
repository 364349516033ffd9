// Addresses and entries in the form the engine fetches.
#include "approval/address.h"
#include "approval/engineform.h"
#include "approval/gate.h"
#include "platform/text.h"
#include "support/engineforms.h"

#include <QUrl>

#include <gtest/gtest.h>

namespace {

const char* const Folder = "/opt/wenlow/";

PlainSettings allOn(std::vector<std::string> parent = {}) {
    PlainSettings s;
    s.setup.options.fill(true);
    s.parent = std::move(parent);
    return s;
}

}  // namespace

// The panes and the request gate decide on what Qt makes of the engine's report;
// wenlow-check on the address as written. Both must come to the engine's form and the
// browser's answer.
TEST(EngineForm, AddressesAreDecidedAsTheEngineReportsThem) {
    LinkLists lists;
    lists.append(EngineLists, {});
    const PlainSettings s = allOn({EngineParentEntry});
    for (const EngineForm& f : EngineForms) {
        SCOPED_TRACE(f.given);
        const EngineAddress written(f.given);
        EXPECT_TRUE(equalsNoCase(written.text(), f.form)) << written.text();
        EXPECT_EQ(written.readable(), *f.form != '\0');
        EXPECT_EQ(requestAllowed(f.given, RequestKind::Navigation, s, lists, Folder), f.ok);
        if (!f.reported) continue;
        const QByteArray report = engineBytes(QUrl::fromEncoded(f.reported));
        const std::string_view reported(report.constData(), static_cast<std::size_t>(report.size()));
        EXPECT_TRUE(equalsNoCase(EngineAddress(reported).text(), f.form)) << EngineAddress(reported).text();
        EXPECT_EQ(requestAllowed(reported, RequestKind::Navigation, s, lists, Folder), f.ok);
        EXPECT_EQ(requestAllowed(reported, RequestKind::Resource, s, lists, Folder), f.ok);
    }
}

TEST(EngineForm, TheFastPathTakesOnlyAddressesInEngineForm) {
    const struct {
        const char* address;
        bool fast;
    } cases[] = {
        {"http://www.example.com/a/b.html?x=1&y=%20&z=a/b?c", true},
        {"HTTPS://Example.COM:8443/A_B/~c/!$&'()*+,;=:@", true},
        {"http://a_b.example", true},
        {"http://1.2.3.4/x", true},
        {"http://h.example/%2F%c3%A4", true},
        {"https://h.example:80/", true},
        {"http://h.example/...", true},
        {"http://1.2.3/", false},  // an IPv4 address in another spelling
        {"http://01.2.3.4/", false},
        {"http://a.0x1/", false},
        {"http://1.2.3.256/", false},
        {"http://h.example/a/./b", false},
        {"http://h.example/..", false},
        {"http://h.example/.?q", false},
        {"http://h.example/%41", false},  // an escaped letter the engine writes plain
        {"http://h.example/%00", false},
        {"http://h.example/%4", false},
        {"http://h.example:80/", false},
        {"https://h.example:443/", false},
        {"http://h.example:080/", false},
        {"http://h.example:/", false},
        {"http://h.example:65536/", false},
        {"http://h.example?q", false},
        {"http://h.example/#f", false},
        {"http://u@h.example/", false},
        {"http://xn--bcher-kva.example/", false},
        {"http://-a.example/", false},
        {"http://a-.example/", false},
        {"http://a..b/", false},
        {"http://h.example./", false},
        {"http://h.example/?'", false},
        {"http://h.example/a b", false},
        {"http://h.example\\a", false},
        {"http:/h.example/", false},
        {"ftp://h.example/", false},
        {"h.example/", false},
        {"http://bücher.example/", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(inEngineForm(c.address), c.fast);
        if (!c.fast) continue;
        // The conversion changes nothing but letter case and trailing slashes.
        const Converted full = convertAddress(c.address);
        ASSERT_TRUE(full.ok());
        EXPECT_EQ(normalisedAddress(full.text), normalisedAddress(c.address));
        EXPECT_EQ(EngineAddress(c.address).text(), c.address);  // taken as it is
    }
}

TEST(EngineForm, EntriesTakeTheFormOfTheAddressesTheyName) {
    const struct {
        const char* entry;
        EntryKind kind;
        const char* form;  // nullptr: cannot be converted
    } cases[] = {
        {"café.example", EntryKind::Domain, "xn--caf-dma.example"},
        {"*.Wild.Example", EntryKind::Domain, "wild.example"},
        {" .dotted.example. ", EntryKind::Domain, "dotted.example"},
        {"http://bad.example/path", EntryKind::Domain, "bad.example"},
        {"0x7f.1", EntryKind::Domain, "127.0.0.1"},
        {"[::ffff:127.0.0.1]", EntryKind::Domain, "127.0.0.1"},
        {"[::1]", EntryKind::Domain, "[::1]"},
        {"bad.example:8080", EntryKind::Domain, nullptr},
        {"-a.example", EntryKind::Domain, nullptr},
        {"a..b.example", EntryKind::Domain, nullptr},
        {"", EntryKind::Domain, nullptr},
        {"http://u:p@host.example/x", EntryKind::Prefix, "http://host.example/x"},
        {"http://host.example:80/x", EntryKind::Prefix, "http://host.example/x"},
        {"https://host.example/x", EntryKind::Prefix, "http://host.example/x"},
        {"ws://host.example/x", EntryKind::Prefix, "http://host.example/x"},
        {"http://café.example/x", EntryKind::Prefix, "http://xn--caf-dma.example/x"},
        {"http://host.example/a b", EntryKind::Prefix, "http://host.example/a%20b"},
        {"http://host.example/a/#top", EntryKind::Prefix, "http://host.example/a/"},
        {"http://ADS.", EntryKind::Prefix, "http://ads."},  // may go on in the name
        {"http://www.Bad", EntryKind::Prefix, "http://www.bad"},
        {"http://192.168.", EntryKind::Prefix, "http://192.168."},
        {"http://host.example:80", EntryKind::Prefix, "http://host.example/"},  // the name has ended
        {"http://a b/", EntryKind::Prefix, nullptr},
        {"http://host.example", EntryKind::Exact, "http://host.example"},
        {"Host.Example:80", EntryKind::Exact, "http://host.example"},
        {"http://host.example/page#top", EntryKind::Exact, "http://host.example/page"},
        {"http://host.example/page/", EntryKind::Exact, "http://host.example/page/"},
        {"http://-a.example/x", EntryKind::Exact, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        const Converted e = convertEntry(c.entry, c.kind);
        EXPECT_EQ(e.ok(), c.form != nullptr) << e.text;
        if (c.form) EXPECT_EQ(e.text, c.form);
        else EXPECT_NE(std::string(e.error ? e.error : ""), "");
    }
    // Read from pardata.dat: in the same form; one an old version stored for a secure
    // address is that address; one that cannot be read stays.
    EXPECT_EQ(parentEntries({"http://Bücher.example/x#top", "http://https://Chat.Example", "http://-a.example/x", ""}),
              (std::vector<std::string>{"http://xn--bcher-kva.example/x", "http://chat.example", "http://-a.example/x", ""}));
    // A zero byte in a path cannot be read, escaped or as it stands (the latter was once
    // escaped, and the escaped form then refused).
    EXPECT_FALSE(convertAddress("http://h.example/a%00b").ok());
    EXPECT_FALSE(convertAddress(std::string("http://h.example/a\0b", 20)).ok());
    // Blanks before a fragment stay, escaped: converted again, the address is the same.
    for (const std::string& given : {std::string("p:/x \0#f", 8), std::string("h.example:8\x01\0#/x", 16)}) {
        const Converted once = convertAddress(given);
        EXPECT_EQ(convertAddress(once.text).text, once.text) << once.text;
    }
}
