#include "data/linklists.h"

#include "data/files.h"
#include "platform/text.h"

#include <algorithm>

void scanDataText(std::string_view text, LinkLists& lists) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> added;  // sorted once and merged, not inserted one by one
    bool inside = false;
    bool toMain = false;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 32) continue;
        const std::string_view line = text.substr(start, i - start);
        start = i + 1;
        if (line == "endurls") inside = false;
        if (line == "mainurls") {
            toMain = true;
        } else if (inside && !line.empty()) {
            if (toMain)
                lists.main.push_back(upperAZ(std::string(line)));
            else
                added.push_back(upperAZ(std::string(line)));
        } else if (line == "starturls") {
            inside = true;
        }
    }
    if (added.empty()) return;
    std::sort(added.begin(), added.end());
    auto& pre = lists.predefined;
    const auto middle = static_cast<std::ptrdiff_t>(pre.size());
    pre.insert(pre.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    std::inplace_merge(pre.begin(), pre.begin() + middle, pre.end());
}

void readDataFile(const std::string& programDir, std::string& workText, LinkLists& lists) {
    workText.clear();
    std::string bytes = readFileBytes(programDir + "data.dat");
    bytes.resize(std::min(bytes.find('\0'), bytes.size()));
    workText = std::move(bytes);
    scanDataText(workText, lists);
}
