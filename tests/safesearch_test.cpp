// The safe forms of searches and of the video site.
#include "approval/safesearch.h"

#include <gtest/gtest.h>

TEST(SafeSearch, EachEnginesDocumentedFormAndNoWayAroundIt) {
    const struct {
        const char* address;
        const char* safe;  // "" when the address stays
        bool header;       // "YouTube-Restrict: Strict"
    } cases[] = {
        {"https://www.google.com/search?q=kittens", "https://www.google.com/search?q=kittens&safe=active", false},
        {"https://www.google.com/search?q=kittens&safe=off", "https://www.google.com/search?q=kittens&safe=active", false},
        {"https://www.google.com/search?safe=active&q=kittens", "", false},
        {"https://www.google.com/search?q=x&safe=active&safe=off", "https://www.google.com/search?q=x&safe=active", false},
        {"https://www.google.com/search?q=x&SAFE=off", "https://www.google.com/search?q=x&safe=active", false},
        {"https://www.google.com/search?q=x&s%61fe=off&", "https://www.google.com/search?q=x&safe=active", false},
        {"https://www.google.com/%73earch?q=x", "https://www.google.com/%73earch?q=x&safe=active", false},
        {"https://www.google.com/search/?q=x", "https://www.google.com/search/?q=x&safe=active", false},
        {"https://www.google.com/search?q=x#top", "https://www.google.com/search?q=x&safe=active#top", false},
        {"https://google.co.uk/search?q=x", "https://google.co.uk/search?q=x&safe=active", false},
        {"https://www.google.com.au/webhp", "https://www.google.com.au/webhp?safe=active", false},
        {"https://www.google.de", "https://www.google.de/?safe=active", false},
        {"http://www.google.com.:8080/search?q=x", "http://www.google.com.:8080/search?q=x&safe=active", false},
        {"https://www.google.com/maps?q=x", "", false},
        {"https://www.google.example/search?q=x", "", false},
        {"https://www.google.evil.com/search?q=x", "", false},
        {"https://notgoogle.com/search?q=x", "", false},
        {"https://www.bing.com/images/search?q=x&adlt=off", "https://www.bing.com/images/search?q=x&adlt=strict", false},
        {"https://bing.com/search?q=x", "https://bing.com/search?q=x&adlt=strict", false},
        {"https://duckduckgo.com/?q=x&kp=-2", "https://duckduckgo.com/?q=x&kp=1", false},
        {"https://html.duckduckgo.com/html?q=x", "https://html.duckduckgo.com/html?q=x&kp=1", false},
        {"https://search.yahoo.com/search?p=x&vm=p", "https://search.yahoo.com/search?p=x&vm=r", false},
        {"https://uk.search.yahoo.com/search?p=x", "https://uk.search.yahoo.com/search?p=x&vm=r", false},
        {"https://www.youtube.com/results?search_query=x", "", true},
        {"https://m.youtube.com/", "", true},
        {"https://youtubei.googleapis.com/youtubei/v1/search", "", true},
        {"https://www.youtube-nocookie.com/embed/x", "", true},
        {"https://youtube.example.com/", "", false},
        {"ftp://www.google.com/search?q=x", "", false},
        {"www.google.com/search?q=x", "", false},
    };
    for (const auto& c : cases) {
        const SafeForm safe = safeSearchForm(c.address);
        EXPECT_EQ(safe.address, c.safe) << c.address;
        EXPECT_EQ(safe.header != nullptr, c.header) << c.address;
        if (safe.header) {
            EXPECT_EQ(std::string(safe.header) + ": " + safe.value, "YouTube-Restrict: Strict");
        }
        // The safe form is safe already: a request sent there is not sent on again.
        if (!safe.address.empty()) {
            EXPECT_EQ(safeSearchForm(safe.address).address, "") << c.address;
        }
    }
    for (const std::string& host : safeSearchExampleHosts()) EXPECT_TRUE(safeSearchHost(host)) << host;
    EXPECT_TRUE(safeSearchHost("www.google.co.uk"));
    EXPECT_FALSE(safeSearchHost("www.google.evil.com"));
    EXPECT_FALSE(safeSearchHost("kids.example"));
}
