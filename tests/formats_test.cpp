// Published lists read line by line: the entries each format gives, the sources file, the
// remembered state of each source, and the builder's order.
#include "data/sources.h"
#include "platform/errors.h"
#include "tools/builder.h"
#include "tools/formats.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr ListFormat Hosts = ListFormat::Hosts, Domains = ListFormat::Domains, Urls = ListFormat::Urls,
                     Adblock = ListFormat::Adblock;
constexpr ListUse Block = ListUse::Block, Allow = ListUse::Allow;

// What a line gave: its entries, then one letter for each thing skipped: n (no name),
// o (options), c (element hiding), u (other adblock rules).
std::string readLine(ListFormat format, ListUse use, const std::string& line) {
    std::string out;
    LineCounts counts;
    readListLine(
        format, use, line, [&](std::string_view e) { out += std::string(e) + " "; }, counts);
    out += std::string(counts.notNames, 'n') + std::string(counts.withOptions, 'o') +
           std::string(counts.cosmetic, 'c') + std::string(counts.unsupported, 'u');
    return out;
}

}  // namespace

TEST(ListFormats, EachLineGivesTheEntriesItMeansOrIsSkippedWhole) {
    struct Row {
        ListFormat format;
        ListUse use;
        const char* line;
        const char* gives;
    };
    const Row rows[] = {
        // hosts files: names mapped to nowhere; the file's own names and addresses are no entries
        {Hosts, Block, "0.0.0.0 ads.example.com", "2ads.example.com "},
        {Hosts, Block, "127.0.0.1\tTracker.Example.NET  # trailing comment", "2tracker.example.net "},
        {Hosts, Block, "127.0.0.1 popups.example.org extra.example.org.", "2popups.example.org 2extra.example.org "},
        {Hosts, Block, ":: ads.example.com", "2ads.example.com "},
        {Hosts, Block, "::1 localhost ip6-localhost", "nn"},
        {Hosts, Block, "0.0.0.0 0.0.0.0", "n"},
        {Hosts, Block, "192.168.1.5 printer.example.com", "n"},  // a real mapping blocks nothing
        {Hosts, Block, "0.0.0.0 bücher.example", "2xn--bcher-kva.example "},
        {Hosts, Block, "# 0.0.0.0 commented.example", ""},
        {Hosts, Block, "   ", ""},
        {Hosts, Allow, "0.0.0.0 kids.example", "5kids.example "},
        // domain lists, IP addresses included
        {Domains, Block, "bad.com", "2bad.com "},
        {Domains, Block, ".dotted.example", "2dotted.example "},
        {Domains, Block, "WWW.Worse.Example.  # a comment", "2www.worse.example "},
        {Domains, Block, "203.0.113.7", "2203.0.113.7 "},
        {Domains, Block, "0x7f.1", "2127.0.0.1 "},
        {Domains, Block, "2001:DB8::1", "2[2001:db8::1] "},
        {Domains, Block, "[2001:db8::1]", "2[2001:db8::1] "},
        {Domains, Block, "bücher.example", "2xn--bcher-kva.example "},
        {Domains, Block, "http://ok.org@bad.example/", "2bad.example "},
        {Domains, Block, "a_b.example", "2a_b.example "},
        {Domains, Block, "localhost", "n"},
        {Domains, Block, "bad name.com", "n"},
        {Domains, Block, "example.com/path", "n"},
        {Domains, Block, "*.example.com", "n"},
        {Domains, Block, "198.51.100.0/24", "n"},
        {Domains, Allow, "kids.bad.com", "5kids.bad.com "},
        // address lists: prefixes in the plain web form, without a trailing "/"
        {Urls, Block, "gallery.example/private", "1http://gallery.example/private "},
        {Urls, Block, "http://files.example/download/", "1http://files.example/download "},
        {Urls, Block, "HTTPS://Files.Example/Download", "1http://files.example/Download "},
        {Urls, Block, "bücher.example/ü", "1http://xn--bcher-kva.example/%C3%BC "},
        {Urls, Block, "user:pw@example.com/x", "1http://example.com/x "},
        {Urls, Block, "example.com/a/../b", "1http://example.com/b "},
        {Urls, Block, "203.0.113.7/x", "1http://203.0.113.7/x "},
        {Urls, Block, "example.com/a b", "n"},
        {Urls, Block, "ftp://example.com/x", "n"},
        {Urls, Allow, "learn.example/a", "4http://learn.example/a "},
        // adblock-style network rules
        {Adblock, Block, "||ads.example.com^", "2ads.example.com "},
        {Adblock, Block, "||ads.example.com", "2ads.example.com "},
        {Adblock, Block, "||ads.example.com^|", "2ads.example.com "},
        {Adblock, Block, "||203.0.113.7^", "2203.0.113.7 "},
        {Adblock, Block, "||bücher.example^", "2xn--bcher-kva.example "},
        {Adblock, Block, "||example.com/banners/", "1http://example.com/banners "},
        {Adblock, Block, "||example.com/ads/*", "1http://example.com/ads "},
        {Adblock, Block, "||example.com:8080/x", "1http://example.com:8080/x "},
        {Adblock, Block, "||example.com/page|", "3http://example.com/page "},
        {Adblock, Block, "|http://example.com/ad.js|", "3http://example.com/ad.js "},
        {Adblock, Block, "|https://example.com/track", "1http://example.com/track "},
        {Adblock, Block, "@@||kids.example.com^", "5kids.example.com "},
        {Adblock, Block, "@@||example.com/ok", "4http://example.com/ok "},
        {Adblock, Block, "@@|http://example.com/x|", "u"},  // nothing approves one address alone
        {Adblock, Block, "||ads.example.com^$third-party", "o"},
        {Adblock, Block, "@@||example.com^$document", "o"},
        {Adblock, Block, "example.com##.banner", "c"},
        {Adblock, Block, "##.ad", "c"},
        {Adblock, Block, "example.com#@#.ad", "c"},
        {Adblock, Block, "example.com#?#div:has(> a)", "c"},
        {Adblock, Block, "example.com#$#abort-on-property-read x", "c"},
        {Adblock, Block, "/banner/*/img^", "u"},
        {Adblock, Block, "/ads[0-9]+/", "u"},
        {Adblock, Block, "-ad-banner.", "u"},
        {Adblock, Block, "||ads*.example.com^", "u"},
        {Adblock, Block, "||example.com^*/ads", "u"},
        {Adblock, Block, "||example.com/a^b", "u"},
        {Adblock, Block, "|javascript:", "u"},
        {Adblock, Block, "||bad name.example^", "u"},
        {Adblock, Block, "! Title: a list", ""},
        {Adblock, Block, "[Adblock Plus 2.0]", ""},
        {Adblock, Allow, "||kids.example^", "5kids.example "},
        {Adblock, Allow, "||kids.example/games", "4http://kids.example/games "},
        {Adblock, Allow, "@@||x.example^", "u"},
        {Adblock, Allow, "|http://example.com/x|", "u"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(readLine(r.format, r.use, r.line), r.gives)
            << formatName(r.format) << " " << useName(r.use) << ": " << r.line;
}

TEST(ListFormats, LinesAreReadInBlocksWhateverTheirEndsAndLengths) {
    const std::string longLine(MaxLineLength + 1, 'x');
    std::string many;
    for (int i = 0; i < 40000; ++i) many += "line" + std::to_string(i) + "\n";  // across many blocks
    struct Row {
        std::string text;
        std::vector<std::string> lines;
        std::size_t overlong;
    };
    const Row rows[] = {
        {"a\nb", {"a", "b"}, 0},
        {"a\r\nb\r\n", {"a", "b"}, 0},
        {"a\rb\r\r\nc", {"a", "b", "", "c"}, 0},
        {"", {}, 0},
        {"a\n" + longLine + "\nb\n", {"a", "b"}, 1},
        {longLine + longLine + longLine + longLine + longLine + "\nb", {"b"}, 1},
        {"a\n" + longLine, {"a"}, 1},
    };
    for (const Row& r : rows) {
        std::FILE* f = std::tmpfile();
        std::fwrite(r.text.data(), 1, r.text.size(), f);
        std::rewind(f);
        std::vector<std::string> lines;
        std::size_t overlong = 0;
        EXPECT_TRUE(eachLine(
            f, [&](std::string_view l) { lines.emplace_back(l); }, overlong));
        EXPECT_EQ(lines, r.lines) << r.text.substr(0, 20);
        EXPECT_EQ(overlong, r.overlong) << r.text.substr(0, 20);
        std::fclose(f);
    }
    std::FILE* f = std::tmpfile();
    std::fwrite(many.data(), 1, many.size(), f);
    std::rewind(f);
    std::size_t n = 0, overlong = 0;
    std::string last;
    eachLine(
        f, [&](std::string_view l) { ++n, last = l; }, overlong);
    std::fclose(f);
    EXPECT_EQ(n, 40000u);
    EXPECT_EQ(last, "line39999");
}

TEST(ListBuilder, WritesEntriesInTheBrowsersOrderOnceEach) {
    ListBuilder b;
    for (const char* e : {"2zeta.example", "1http://a.example/X", "2Alpha.example", "5kids.example", "2alpha.example",
                          "1http://a.example/x", "2beta.example"})
        b.add(e);
    const ListBuilder::Mark m = b.mark();
    for (int i = 0; i < 100000; ++i) b.add("2refused" + std::to_string(i) + ".example");  // over many blocks
    b.undo(m);
    b.add("4http://kids.example/games");
    b.approve("https://kids.example/");
    b.approve("HTTPS://KIDS.EXAMPLE");
    b.approve("learn.example/a");
    EXPECT_EQ(b.take(),
              "starturls\r\n"
              "1http://a.example/X\r\n"  // the first of entries alike but for letter case
              "2Alpha.example\r\n"
              "2beta.example\r\n"
              "2zeta.example\r\n"
              "4http://kids.example/games\r\n"
              "5kids.example\r\n"
              "mainurls\r\n"
              "https://kids.example\r\n"
              "http://learn.example/a\r\n"
              "endurls\r\n");
    EXPECT_EQ(b.counts().blocked, 4u);
    EXPECT_EQ(b.counts().allowed, 2u);
    EXPECT_EQ(b.counts().approved, 2u);
    EXPECT_EQ(b.counts().duplicates, 3u);
}

TEST(SourcesFile, EachLineNamesAListOrIsRefusedWithItsLine) {
    struct Row {
        const char* text;
        const char* sources;  // address format use; ...
        const char* error;
    };
    const Row rows[] = {
        {"https://a.example/l domains block\n", "https://a.example/l domains block;", ""},
        {"# lists\r\n\r\n  https://a.example/l   HOSTS\tAllow  # school's\r\nhttps://b.example/x.txt adblock block",
         "https://a.example/l hosts allow;https://b.example/x.txt adblock block;", ""},
        {"https://a.example/l#part urls block", "https://a.example/l#part urls block;", ""},
        {"# nothing yet\n", "", ""},
        {"\nhttp://a.example/l domains block", "", "sources.txt line 2: http://a.example/l is not an https address"},
        {"https:// domains block", "", "sources.txt line 1: https:// is not an https address"},
        {"https://a.example/l domain block", "",
         "sources.txt line 1: unknown format \"domain\" (hosts, domains, urls or adblock)"},
        {"https://a.example/l domains deny", "", "sources.txt line 1: \"deny\" is neither \"block\" nor \"allow\""},
        {"https://a.example/l domains", "",
         "sources.txt line 1: a source is its address, its format and \"block\" or \"allow\""},
        {"https://a.example/l domains block extra", "",
         "sources.txt line 1: a source is its address, its format and \"block\" or \"allow\""},
        {"https://a.example/l domains block\nhttps://a.example/l hosts allow", "",
         "sources.txt line 2: https://a.example/l is named twice"},
    };
    for (const Row& r : rows) {
        std::string got, error;
        try {
            for (const ListSource& s : parseSources(r.text))
                got += s.address + " " + formatName(s.format) + " " + useName(s.use) + ";";
        } catch (const Exception& e) {
            error = e.what();
        }
        EXPECT_EQ(got, r.sources) << r.text;
        EXPECT_EQ(error, r.error) << r.text;
    }
}

TEST(SourcesFile, StateLinesKeepWhatTheyCanHoldAndDropWhatTheyCannot) {
    std::vector<SourceState> states(3);
    states[0] = {"https://a.example/l", 1700000000, 1700000100, "", "\"abc\"", "Tue, 14 Nov 2023 22:13:20 GMT"};
    states[1] = {"https://b.example/l", 0, 1700000200, "Could not resolve host:\nb.example", "\"x\ty\"", "Tue"};
    states[2] = {"https://c.example/l", 5, 6, "", "", ""};
    const auto back = parseSourceStates(sourceStatesText(states) + "a line of no one's\r\n");
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].fetched, 1700000000);
    EXPECT_EQ(back[0].tried, 1700000100);
    EXPECT_EQ(back[0].etag, "\"abc\"");
    EXPECT_EQ(back[0].lastModified, "Tue, 14 Nov 2023 22:13:20 GMT");
    EXPECT_EQ(back[1].problem, "Could not resolve host: b.example");
    EXPECT_EQ(back[1].etag, "");  // a version name with a tab is not kept: the next fetch is whole
    EXPECT_EQ(back[1].lastModified, "");
    EXPECT_EQ(stateOf(back, "https://c.example/l")->tried, 6);
    EXPECT_EQ(stateOf(back, "https://d.example/l"), nullptr);
    EXPECT_NE(copyFileOf("/f/", "https://a.example/l"), copyFileOf("/f/", "https://b.example/l"));
    EXPECT_EQ(copyFileOf("/f/", "https://a.example/l").rfind("/f/sources/", 0), 0u);
}
