// The readers of setup.dat, buttons.dat, default.dat (line reading), pardata.dat (list
// reading) and sites.dat on any bytes; what they read must write back and read again the
// same.
#include "data/files.h"
#include "data/setupfiles.h"
#include "data/sitesfile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    LineReader setupLines(text);
    const SetupValues setup = parseSetup(setupLines);
    LineReader again(setupFileBytes(setup));
    const SetupValues back = parseSetup(again);
    if (back.options != setup.options || back.verify != setup.verify || back.shown != setup.shown) std::abort();
    for (int i = 0; i < 9; ++i)
        if (setup.shown[i] && setup.addresses[i].find('\r') == std::string::npos && back.addresses[i] != setup.addresses[i])
            std::abort();
    LineReader buttonLines(text);
    (void)buttonsFileBytes(parseButtons(buttonLines));
    const auto entries = splitList(text);
    for (const auto& e : entries)
        if (e.find_first_of("\r\n") != std::string::npos || e.find('\0') != std::string::npos) std::abort();
    const SitesValues sites = parseSites(text);
    const SitesValues back2 = parseSites(sitesFileBytes(sites));
    if (back2.onlyApproved != sites.onlyApproved || back2.safeSearch != sites.safeSearch ||
        back2.entries != sites.entries || back2.otherLines != sites.otherLines)
        std::abort();
    return 0;
}
