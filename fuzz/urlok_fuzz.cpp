// Approval on random lists and addresses: the index must decide as the entry-by-entry
// scan does, and an address the fast path takes as it is must decide as its full
// conversion. Input: lines; the first is the address, lines starting "P" go to the parent
// list, "M" to the main list, the rest are predefined entries; the first byte picks the
// switches.
#include "approval/engineform.h"
#include "approval/urlok.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    PlainSettings s;
    for (int i = 0; i < 8; ++i) s.setup.options[i] = data[0] >> i & 1;
    s.setup.verify.fill(data[1] & 1);
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    std::string address;
    TextList predefined, main;
    std::size_t start = 0;
    for (int line = 0; start <= text.size(); ++line) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string l = text.substr(start, end - start);
        if (line == 0)
            address = l;
        else if (!l.empty() && l[0] == 'P')
            s.parent.push_back(l.substr(1));
        else if (!l.empty() && l[0] == 'M')
            main.push_back(l.substr(1));
        else
            predefined.push_back(l);
        start = end + 1;
    }
    LinkLists lists;
    lists.append(predefined, main);
    if (urlok(address, s, lists) != urlokScan(address, s, lists)) std::abort();
    for (int site = 0; site <= 9; ++site)
        if (MainUrlOk(address, site, s, lists) != mainUrlOkScan(address, site, s, lists)) std::abort();
    const Converted full = convertAddress(address);
    if (inEngineForm(address)) {
        if (!full.ok() || urlok(full.text, s, lists) != urlok(address, s, lists)) std::abort();
        for (int site = 0; site <= 9; ++site)
            if (MainUrlOk(full.text, site, s, lists) != MainUrlOk(address, site, s, lists)) std::abort();
    }
    // The conversion's result is in its own form: converted again, it stays.
    if (full.ok()) {
        const Converted again = convertAddress(full.text);
        if (!again.ok() || again.text != full.text) std::abort();
    }
    for (std::string_view e : predefined)
        for (EntryKind kind : {EntryKind::Prefix, EntryKind::Exact, EntryKind::Domain}) (void)convertEntry(e, kind);
    return 0;
}
