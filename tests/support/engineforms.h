#pragma once
// Addresses as a page uses them and as the engine (Qt WebEngine 6.4) reports them: the
// reported form is the engine's own, recorded from a real page (the end-to-end test
// checks that the engine still reports it so), and the decision is the browser's under
// EngineLists, EngineParentEntry and every switch on.
#include <string>
#include <vector>

struct EngineForm {
    const char* given;     // as a link, a script or a parent writes it
    const char* reported;  // what the engine reports (Qt reads it from this), or nullptr:
                           // the engine reads no address in it and goes nowhere
    const char* form;      // what is decided on, letter case aside: "" when it cannot be read
    bool ok;               // the right pane's decision
};

inline const std::vector<std::string> EngineLists = {
    "1HTTP://PRE.EXAMPLE/X", "1HTTP://OK.EXAMPLE",     "4HTTP://OK.EXAMPLE/YES",      "2BAD.COM",
    "3HTTP://NEWS.EXAMPLE/TV", "1HTTP://127.0.0.1",    "2XN--BCHER-KVA.EXAMPLE",      "3HTTP://SHOP.EXAMPLE/%C3%A4",
};
inline const char* const EngineParentEntry = "http://par.example/page";

inline const std::vector<EngineForm> EngineForms = {
    // A fragment is never fetched: it changes nothing.
    {"http://news.example/tv#top", "http://news.example/tv#top", "http://news.example/tv", false},
    {"http://par.example/page#top", "http://par.example/page#top", "http://par.example/page", false},
    {"http://par.example/page/more#top", "http://par.example/page/more#top", "http://par.example/page/more", true},
    {"http://h.example/a?b#c#d", "http://h.example/a?b#c#d", "http://h.example/a?b", true},
    // Hosts the engine reads but Qt cannot hold: reported empty, refused.
    {"http://-a.bad.com/", "http://-a.bad.com/", "", false},
    {"http://a-.kids.example/", "http://a-.kids.example/", "", false},
    {"http://a+b.bad.com/", "http://a+b.bad.com/", "", false},
    {"http://a..b.kids.example/", "http://a..b.kids.example/", "", false},
    {"http://.bad.com/", "http://.bad.com/", "", false},
    {"http://a!b.kids.example/", "http://a%21b.kids.example/", "", false},
    {"http://a b.kids.example/", "http://a%20b.kids.example/", "", false},
    {"http://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.kids.example/",
     "http://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.kids.example/", "", false},
    // Hosts the engine refuses to read at all.
    {"http://a;b.bad.com/", nullptr, "", false},
    {"http://a~b.kids.example/", nullptr, "", false},
    {"http://1.2.3.08/", nullptr, "", false},
    {"http://h.example:65536/", nullptr, "", false},
    // Hosts read as the engine reads them.
    {"http://a_b.bad.com/", "http://a_b.bad.com/", "http://a_b.bad.com/", false},
    {"http://a%2eb.bad.com/", "http://a.b.bad.com/", "http://a.b.bad.com/", false},
    {"http://BAD.COM/", "http://bad.com/", "http://bad.com/", false},
    {"http://BÜCHER.example/x", "http://xn--bcher-kva.example/x", "http://xn--bcher-kva.example/x", false},
    {"http://faß.example/", "http://fass.example/", "http://fass.example/", true},
    {"http://ＢＡＤ．com/", "http://bad.com/", "http://bad.com/", false},
    {"http://bad.com./x", "http://bad.com./x", "http://bad.com/x", false},
    {"http://127.0.0.1./", "http://127.0.0.1/", "http://127.0.0.1/", false},
    {"http://0x7f.1/", "http://127.0.0.1/", "http://127.0.0.1/", false},
    {"http://2130706433/x", "http://127.0.0.1/x", "http://127.0.0.1/x", false},
    {"http://[::FFFF:7F00:1]:8080/", "http://[::ffff:7f00:1]:8080/", "http://127.0.0.1:8080/", false},
    {"http://1.2.3/", "http://1.2.0.3/", "http://1.2.0.3/", true},
    // Ports: a default one is no port.
    {"http://pre.example:80/x/y", "http://pre.example/x/y", "http://pre.example/x/y", false},
    {"http://ok.example:80/yes", "http://ok.example/yes", "http://ok.example/yes", true},
    {"https://ok.example:443/yes", "https://ok.example/yes", "https://ok.example/yes", true},
    {"https://ok.example:80/yes", "https://ok.example:80/yes", "https://ok.example:80/yes", false},
    {"http://h.example:0080/", "http://h.example/", "http://h.example/", true},
    // Slashes and backslashes after the scheme, user info, a query without a path.
    {"http:/ok.example/yes", "http://ok.example/yes", "http://ok.example/yes", true},
    {"http:pre.example/x", "http://pre.example/x", "http://pre.example/x", false},
    {"http:\\\\pre.example\\x", "http://pre.example/x", "http://pre.example/x", false},
    {"http:///pre.example/x", "http://pre.example/x", "http://pre.example/x", false},
    {"http://@pre.example/x", "http://pre.example/x", "http://pre.example/x", false},
    {"http://kid:pw@pre.example/x", "http://kid:pw@pre.example/x", "http://pre.example/x", false},
    {"http://ok.example@pre.example/x", "http://ok.example@pre.example/x", "http://pre.example/x", false},
    {"http://h.example?q", "http://h.example/?q", "http://h.example/?q", true},
    // Blanks, tabs and line breaks.
    {" http://pre.example/x ", "http://pre.example/x", "http://pre.example/x", false},
    {"http://pre.exa\tmple/x", "http://pre.example/x", "http://pre.example/x", false},
    {"http://pre.example/\nx", "http://pre.example/x", "http://pre.example/x", false},
    // Paths: dot segments, escapes as the engine writes them.
    {"http://pre.example/y/../x", "http://pre.example/x", "http://pre.example/x", false},
    {"http://pre.example/y/%2e%2E/x", "http://pre.example/x", "http://pre.example/x", false},
    {"http://pre.example/%78", "http://pre.example/x", "http://pre.example/x", false},
    {"http://shop.example/ä", "http://shop.example/%C3%A4", "http://shop.example/%C3%A4", false},
    {"http://shop.example/%c3%a4", "http://shop.example/%c3%a4", "http://shop.example/%C3%A4", false},
    {"http://h.example/a b\"<>`{}|^", "http://h.example/a%20b%22%3C%3E%60%7B%7D%7C%5E",
     "http://h.example/a%20b%22%3C%3E%60%7B%7D%7C%5E", true},
    {"http://h.example/?q='\"`{}a%41", "http://h.example/?q=%27%22`{}a%41", "http://h.example/?q=%27%22%60%7B%7DaA",
     true},
    // Other schemes: never a web address.
    {"s://bad.example/", nullptr, "s://bad.example/", false},
    {"ss://%", nullptr, "ss://%", false},
    {"xyz://a b", nullptr, "xyz://a b", false},
    {"chrome://%", nullptr, "chrome://%", false},
    {"ftp://[", nullptr, "", false},
};
