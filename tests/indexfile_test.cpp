// The index file kept beside a large data.dat: used only for exactly the data.dat it was
// made from, deciding exactly as a fresh load does, and never a way to crash a look-up.
#include "approval/urlok.h"
#include "data/image.h"
#include "data/indexfile.h"
#include "data/linklists.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <QDir>

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

namespace {

using Lines = std::vector<std::string>;

std::string randomName(std::mt19937& rng) {
    std::string n;
    for (std::size_t i = 3 + rng() % 8; i > 0; --i) n += static_cast<char>('a' + rng() % 26);
    static const char* const ends[] = {".com", ".org", ".example", ""};
    return n + ends[rng() % 4];
}

// Large enough to be kept with an index: every kind of entry, letter cases, trailing
// blanks and paths, and a main list.
struct BigList {
    std::string text = "HTTP/1.0 200 OK\r\n\r\nstarturls\r\n";
    std::vector<std::string> names;

    explicit BigList(unsigned seed) {
        std::mt19937 rng(seed);
        static const char* const kinds[] = {"1", "1", "1", "3", "4", "9", "", "2", "2", "5"};
        while (text.size() < IndexedFileSize + 4096) {
            names.push_back(randomName(rng));
            const std::string kind = kinds[rng() % 10];
            if (kind == "2" || kind == "5") {  // a domain and every host below it
                text += kind + names.back() + "\r\n";
                continue;
            }
            std::string entry = kind + std::string(rng() % 3 ? "http://" : "HTTP://www.") + names.back();
            if (rng() % 5 == 0) entry += "/path";
            if (rng() % 9 == 0) entry += ' ';
            text += entry + "\r\n";
        }
        text += "mainurls\r\n";
        for (int i = 0; i < 50; ++i) text += "http://" + names[static_cast<std::size_t>(i) * 7] + "/\r\n";
        text += "endurls\r\n";
    }

    // Listed names, with and without more after them, and names never listed.
    std::vector<std::string> addresses(std::size_t count) const {
        std::mt19937 rng(7);
        std::vector<std::string> out;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string& n = names[rng() % names.size()];
            switch (i % 4) {
            case 0: out.push_back("http://" + n); break;
            case 1: out.push_back("https://www." + n + "/path/more"); break;
            case 2: out.push_back("HTTP://" + n + "x"); break;
            default: out.push_back("http://" + randomName(rng)); break;
            }
        }
        return out;
    }
};

PlainSettings strict() {
    PlainSettings s;
    s.setup.options.fill(true);
    s.setup.verify.fill(true);
    return s;
}

LinkLists scanned(const std::string& text) {
    LinkLists l;
    scanDataText(text, l);
    return l;
}

void expectSameDecisions(const LinkLists& a, const LinkLists& b, const std::vector<std::string>& addresses) {
    const PlainSettings s = strict();
    int refused = 0;
    for (const std::string& address : addresses) {
        ASSERT_EQ(urlok(address, s, a), urlok(address, s, b)) << address;
        ASSERT_EQ(MainUrlOk(address, 1, s, a), MainUrlOk(address, 1, s, b)) << address;
        refused += !urlok(address, s, a);
    }
    // Both answers are common, so the comparison means something.
    EXPECT_GT(refused, static_cast<int>(addresses.size() / 10));
    EXPECT_LT(refused, static_cast<int>(addresses.size() * 9 / 10));
}

// The lists as the tools load them from the folder.
LinkLists loaded(const ProgramFolder& dir) {
    LinkLists lists;
    readDataFile(dir.path(), lists);
    return lists;
}

void expectSameLists(const LinkLists& a, const LinkLists& b) {
    EXPECT_TRUE(a.predefined() == b.predefined());
    EXPECT_TRUE(a.main() == b.main());
}

}  // namespace

TEST(IndexFile, TheNextLoadMapsItAndDecidesAsAFreshLoad) {
    const BigList big(1);
    ProgramFolder dir;
    dir.write("data.dat", big.text);
    LinkLists first;
    std::string work;
    readDataFile(dir.path(), work, first);
    EXPECT_TRUE(dir.exists("data.idx"));
    EXPECT_FALSE(first.predefined().isView());

    LinkLists mapped = loaded(dir);  // the tools' way, without a work text
    EXPECT_TRUE(mapped.predefined().isView());
    LinkLists browser;
    std::string browserWork;
    readDataFile(dir.path(), browserWork, browser);
    EXPECT_TRUE(browser.predefined().isView());
    EXPECT_EQ(browserWork, work);

    expectSameLists(mapped, first);
    expectSameLists(browser, first);
    const auto addresses = big.addresses(4000);
    expectSameDecisions(mapped, first, addresses);
    // And the fresh load itself against the rules read entry by entry.
    const PlainSettings s = strict();
    for (std::size_t i = 0; i < 200; ++i) {
        ASSERT_EQ(urlok(addresses[i], s, mapped), urlokScan(addresses[i], s, first)) << addresses[i];
        ASSERT_EQ(MainUrlOk(addresses[i], 1, s, mapped), mainUrlOkScan(addresses[i], 1, s, first)) << addresses[i];
    }
    // Written whole under its name: nothing else is left in the folder.
    EXPECT_EQ(dir.entries(), (QStringList{"data.dat", "data.idx"}));
}

TEST(IndexFile, AnotherDataFileOfTheSameSizeIsReadAfresh) {
    const BigList big(2);
    ProgramFolder dir;
    dir.write("data.dat", big.text);
    LinkLists before = loaded(dir);
    // One entry changes kind: same length, different rules.
    std::string changed = big.text;
    const std::size_t at = changed.find("\r\n1http://") + 2;
    changed[at] = '4';
    ASSERT_EQ(changed.size(), big.text.size());
    dir.write("data.dat", changed);

    LinkLists after = loaded(dir);
    EXPECT_FALSE(after.predefined().isView());
    expectSameLists(after, scanned(changed));
    LinkLists again = loaded(dir);
    EXPECT_TRUE(again.predefined().isView());  // the index was made anew
    expectSameLists(again, after);
}

TEST(IndexFile, AnIndexCutShortOrOfAnotherFormIsMadeAnew) {
    const BigList big(3);
    ProgramFolder dir;
    dir.write("data.dat", big.text);
    LinkLists fresh = loaded(dir);
    const std::string good = dir.read("data.idx");
    const LinkLists expected = scanned(big.text);

    std::vector<std::string> damaged;
    for (std::size_t cut : {std::size_t(0), std::size_t(10), std::size_t(64), good.size() / 2, good.size() - 1})
        damaged.push_back(good.substr(0, cut));
    damaged.push_back(good + "x");
    std::string version = good;
    version[8] ^= 1;
    damaged.push_back(version);
    std::string magic = good;
    magic[0] = 'X';
    damaged.push_back(magic);
    std::string count = good;  // the first array claims more elements than the file holds
    count[64 + 7] = 0x40;
    damaged.push_back(count);
    // One flipped bit anywhere in the entries or the index.
    std::mt19937 rng(11);
    for (int i = 0; i < 40; ++i) {
        std::string flipped = good;
        flipped[64 + rng() % (good.size() - 64)] ^= static_cast<char>(1 << (rng() % 8));
        damaged.push_back(flipped);
    }

    for (const std::string& bytes : damaged) {
        dir.write("data.idx", bytes);
        LinkLists lists = loaded(dir);
        EXPECT_FALSE(lists.predefined().isView()) << bytes.size();
        expectSameLists(lists, expected);
        EXPECT_EQ(dir.read("data.idx"), good);
    }

    // Not a file at all: a FIFO would make a blocking open wait for a writer for ever.
    dir.remove("data.idx");
    ASSERT_EQ(::mkfifo(dir.file("data.idx").c_str(), 0644), 0);
    expectSameLists(loaded(dir), expected);
    EXPECT_EQ(dir.read("data.idx"), good);
}

// data.dat rewritten in place while it is being read: nothing crashes, and the index
// left behind names exactly the bytes it holds the rules of.
TEST(IndexFile, ADataFileRewrittenWhileReadNeverLeavesAWrongIndex) {
    const BigList first(5), second(6);
    ProgramFolder dir;
    dir.write("data.dat", first.text);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            std::FILE* f = std::fopen(dir.file("data.dat").c_str(), "w");  // truncates in place
            const std::string& text = i % 2 ? second.text : first.text;
            for (std::size_t at = 0; at < text.size(); at += 65536)
                std::fwrite(text.data() + at, 1, std::min<std::size_t>(65536, text.size() - at), f);
            std::fclose(f);
        }
    });
    for (int i = 0; i < 20; ++i) loaded(dir);
    stop = true;
    writer.join();
    const std::string final = dir.read("data.dat");
    const LinkLists lists = loaded(dir);
    expectSameLists(lists, scanned(final));
    expectSameLists(loaded(dir), scanned(final));
}

TEST(IndexFile, ListsFromTheIndexCanStillChange) {
    const BigList big(4);
    ProgramFolder dir;
    dir.write("data.dat", big.text);
    LinkLists lists = loaded(dir);
    readDataFile(dir.path(), lists);  // not empty now: appended, not mapped
    EXPECT_FALSE(lists.predefined().isView());
    EXPECT_EQ(lists.predefined().size(), 2 * scanned(big.text).predefined().size());

    LinkLists mapped = loaded(dir);
    ASSERT_TRUE(mapped.predefined().isView());
    const LinkLists copy = mapped;
    mapped.append({"1HTTP://ADDED.EXAMPLE"}, {"HTTP://KEPT.EXAMPLE"});
    const PlainSettings s = strict();
    EXPECT_FALSE(urlok("http://added.example/x", s, mapped));
    EXPECT_TRUE(urlok("http://added.example/x", s, copy));
    EXPECT_TRUE(MainUrlOk("http://kept.example", 1, s, mapped));
    expectSameDecisions(copy, scanned(big.text), big.addresses(1000));
    mapped.clear();
    EXPECT_TRUE(mapped.predefined().empty());
    EXPECT_EQ(copy.predefined().size(), scanned(big.text).predefined().size());
}

TEST(IndexFile, SmallListsHaveNoIndexAndLeaveNoOldOne) {
    ProgramFolder dir;
    dir.write("data.dat", BigList(5).text);
    LinkLists big = loaded(dir);
    ASSERT_TRUE(dir.exists("data.idx"));
    dir.write("data.dat", "starturls\r\n1http://small\r\nendurls\r\n");
    LinkLists small = loaded(dir);
    EXPECT_EQ(small.predefined(), Lines{"1HTTP://SMALL"});
    EXPECT_FALSE(dir.exists("data.idx"));
}

TEST(IndexFile, AFolderThatCannotTakeTheIndexStillLoads) {
    const BigList big(6);
    ProgramFolder dir;
    dir.write("data.dat", big.text);
    ASSERT_TRUE(QDir(QString::fromStdString(dir.path())).mkdir("data.idx"));
    LinkLists lists;
    std::string work;
    readDataFile(dir.path(), work, lists);
    expectSameLists(lists, scanned(big.text));
    EXPECT_EQ(dir.entries(), QStringList{"data.dat"});  // no temporary file left behind
}

namespace {

// A table read from a file is as its writer left it: the look-up must end and stay in
// the list even when the table is full or points past the list's end.
struct HostileTable {
    TextList list{"1HTTP://A", "1HTTP://B", "1HTTP://C"};
    TextSet set;
    std::shared_ptr<const void> keep;

    // Saves a set built over the list, lets `change` alter the slot words, reads it back.
    template <class Change>
    bool load(const TextList& readAgainst, Change change) {
        TextSet built;
        built.build(list, {0, 1, 2}, 1);
        char name[] = "/tmp/wenlow-table-XXXXXX";
        const int fd = ::mkstemp(name);
        ImageWriter out(fd);
        built.save(out);
        EXPECT_TRUE(out.finish());
        ::close(fd);
        std::string bytes;
        {
            const FileImage m = readFileImage(name);
            bytes.assign(m.data, m.size);
        }
        // skip, count, mask, word mask, then the slot count; the slots start at 64.
        std::uint64_t slotCount;
        std::memcpy(&slotCount, bytes.data() + 32, 8);
        change(reinterpret_cast<std::uint32_t*>(bytes.data() + 64), slotCount);
        std::FILE* f = std::fopen(name, "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        const FileImage m = readFileImage(name);
        ::unlink(name);
        keep = m.keep;
        ImageReader in(m.keep, m.data, m.size);
        return set.load(in, readAgainst);
    }
};

}  // namespace

TEST(IndexFile, ALookUpInAHostileTableEndsAndStaysInTheList) {
    HostileTable full;
    // Every slot taken: a look-up for a text that is not there must still end.
    ASSERT_TRUE(full.load(full.list, [](std::uint32_t* words, std::uint64_t slotCount) {
        for (std::uint64_t i = 0; i < slotCount; ++i)
            if (words[2 * i] == 0) words[2 * i] = 0xFFFFFFFF;
    }));
    EXPECT_EQ(full.set.prefixOf(TextSet::Address("HTTP://B/PAGE")), std::optional<std::string_view>("HTTP://B"));
    EXPECT_FALSE(full.set.prefixOf(TextSet::Address("HTTP://D/PAGE")));
    EXPECT_FALSE(full.set.equalTo(TextSet::Address("HTTP://D")));

    HostileTable shorter;
    // Read against a list of one text: slots for the second and third point past its end.
    const TextList one{"1HTTP://A"};
    ASSERT_TRUE(shorter.load(one, [](std::uint32_t*, std::uint64_t) {}));
    EXPECT_TRUE(shorter.set.prefixOf(TextSet::Address("HTTP://A/X")));
    EXPECT_FALSE(shorter.set.prefixOf(TextSet::Address("HTTP://C/X")));

    HostileTable masks;
    // A mask that does not fit the table is refused outright.
    EXPECT_FALSE(masks.load(masks.list, [](std::uint32_t* words, std::uint64_t) {
        words[-12] = 0xFF;  // the slot mask, at 16 in the set's header
    }));
}

TEST(IndexFile, ListsReadOutOfOrderAreMergedIntoOrder) {
    // Only a damaged index holds a list out of order; adding to it still yields the
    // order that merging and the allow entries rely on.
    TextList read{"4HTTP://OK", "1HTTP://OK"};
    read.mergeSorted(TextList{"3HTTP://X"});
    EXPECT_EQ(read, (Lines{"1HTTP://OK", "3HTTP://X", "4HTTP://OK"}));
}
