// The reader of data.dat and the index built from it, on any bytes: the index decides as
// the entry-by-entry scan, and the fast path as the full conversion.
#include "approval/engineform.h"
#include "approval/urlok.h"
#include "data/linklists.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    LinkLists lists;
    scanDataText(text, lists);
    scanDataText(text, lists);  // appended twice: merged, still in order
    for (std::size_t i = 1; i < lists.predefined().size(); ++i)
        if (lists.predefined()[i] < lists.predefined()[i - 1]) std::abort();
    PlainSettings s;
    s.setup.options.fill(true);
    s.setup.verify.fill(true);
    // A sample of the entries as addresses: the scan it is checked against is slow.
    for (std::size_t i = 0; i < lists.predefined().size(); i += 1 + lists.predefined().size() / 32) {
        const std::string address(lists.predefined()[i].substr(1));
        if (urlok(address, s, lists) != urlokScan(address, s, lists)) std::abort();
        if (inEngineForm(address)) {
            const Converted full = convertAddress(address);
            if (!full.ok() || urlok(full.text, s, lists) != urlok(address, s, lists)) std::abort();
        }
    }
    for (std::string_view e : lists.main()) {
        const std::string address(e);
        if (MainUrlOk(address, 1, s, lists) != mainUrlOkScan(address, 1, s, lists)) std::abort();
    }
    return 0;
}
