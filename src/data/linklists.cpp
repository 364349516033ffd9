#include "data/linklists.h"

#include "data/files.h"
#include "platform/text.h"

#include <algorithm>

LinkLists::LinkLists(const LinkLists& other) : predefined_(other.predefined_), main_(other.main_) {
    index_.build(predefined_, main_);
}

LinkLists& LinkLists::operator=(const LinkLists& other) {
    if (this != &other) {
        predefined_ = other.predefined_;
        main_ = other.main_;
        index_.build(predefined_, main_);
    }
    return *this;
}

void LinkLists::clear() {
    predefined_.clear();
    main_.clear();
    index_.build(predefined_, main_);
}

void LinkLists::append(std::vector<std::string> predefined, std::vector<std::string> main) {
    // Sorted once and merged, not inserted one by one.
    std::sort(predefined.begin(), predefined.end());
    const auto middle = static_cast<std::ptrdiff_t>(predefined_.size());
    predefined_.insert(predefined_.end(), std::make_move_iterator(predefined.begin()),
                       std::make_move_iterator(predefined.end()));
    std::inplace_merge(predefined_.begin(), predefined_.begin() + middle, predefined_.end());
    main_.insert(main_.end(), std::make_move_iterator(main.begin()), std::make_move_iterator(main.end()));
    index_.build(predefined_, main_);
}

void scanDataText(std::string_view text, LinkLists& lists) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> predefined, main;
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
            (toMain ? main : predefined).push_back(upperAZ(std::string(line)));
        } else if (line == "starturls") {
            inside = true;
        }
    }
    lists.append(std::move(predefined), std::move(main));
}

void readDataFile(const std::string& programDir, std::string& workText, LinkLists& lists) {
    workText.clear();
    std::string bytes = readFileBytes(programDir + "data.dat");
    bytes.resize(std::min(bytes.find('\0'), bytes.size()));
    workText = std::move(bytes);
    scanDataText(workText, lists);
}
