// The index file on any contents after a well-formed header: either refused, or read
// into lists that look-ups, listing and changes can use without leaving their bounds or
// running on for ever.
#include "approval/urlok.h"
#include "data/indexfile.h"
#include "data/linklists.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const char* const SampleData =
    "starturls\r\n1http://bad.example\r\n3http://exact.example/page\r\n4http://bad.example/kids\r\n9other\r\n1\r\n"
    "mainurls\r\nhttp://good.example\r\nendurls\r\n";

struct Rig {
    QTemporaryDir dir;
    std::string index = dir.path().toStdString() + "/data.idx";
    std::string header;

    Rig() {
        // A real index supplies the header: magic, version; the body length is set per input.
        LinkLists lists;
        scanDataText(SampleData, lists);
        writeIndexFile(index, SampleData, lists);
        std::ifstream in(index, std::ios::binary);
        header.assign(std::istreambuf_iterator<char>(in), {});
        header.resize(64);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig rig;
    std::string file = rig.header;
    const std::uint64_t bodyLength = size;
    std::memcpy(file.data() + 32, &bodyLength, 8);  // where the header keeps it
    file.append(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(rig.index, std::ios::binary | std::ios::trunc);
        out << file;
    }
    IndexFile read = IndexFile::open(rig.index);
    LinkLists lists = read.lists();
    PlainSettings s;
    s.setup.options.fill(true);
    s.setup.verify.fill(true);
    std::size_t total = 0;
    for (std::string_view e : lists.predefined()) total += e.size();
    for (std::string_view e : lists.main()) total += e.size();
    for (const char* address : {"http://bad.example/x", "http://exact.example/page", "http://bad.example/kids/a",
                                "http://good.example", "", "http://"}) {
        urlok(address, s, lists);
        MainUrlOk(address, 1, s, lists);
    }
    for (std::size_t i = 0; i < lists.predefined().size() && i < 64; ++i) {
        const std::string entry(lists.predefined()[i]);
        urlok(entry.substr(entry.empty() ? 0 : 1), s, lists);
    }
    // A change rebuilds the index from the lists: it then decides as the lists say.
    lists.append({"1HTTP://ADDED"}, {"HTTP://M"});
    for (const char* address : {"http://added/x", "http://bad.example/x", "http://m"})
        if (urlok(address, s, lists) != urlokScan(address, s, lists) ||
            MainUrlOk(address, 1, s, lists) != mainUrlOkScan(address, 1, s, lists))
            std::abort();
    volatile std::size_t sink = total;  // every text was read whole
    (void)sink;
    return 0;
}
