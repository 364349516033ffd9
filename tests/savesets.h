#pragma once
// The contents the crash test starts from (set 2) and the two that the saving child
// writes in turn (sets 0 and 1): large enough that a kill often lands in a write.
#include "data/setupfiles.h"

#include <array>
#include <string>
#include <vector>

struct SaveSet {
    SetupValues setup;
    ButtonsValues buttons;
    std::vector<std::string> parent;
    std::string data;
};

inline const SaveSet& saveSet(int which) {
    static const std::array<SaveSet, 3> sets = [] {
        std::array<SaveSet, 3> out;
        for (int w = 0; w < 3; ++w) {
            SaveSet& s = out[w];
            const std::string tag = std::to_string(w);
            s.setup.password = "pass" + tag;
            s.setup.options.fill(w == 1);
            s.setup.shown.fill(true);
            for (auto& a : s.setup.addresses) a = "list" + tag + std::string(4000, 'a' + w) + ".html";
            for (int i = 0; i < 9; ++i) s.buttons.labels[i] = "L" + tag + std::to_string(i);
            for (int i = 0; i < 3000; ++i) s.parent.push_back("http://blocked" + tag + "-" + std::to_string(i) + ".example");
            s.data = "starturls\r\n";
            for (int i = 0; i < 40000; ++i) s.data += "1http://listed" + tag + "-" + std::to_string(i) + ".example\r\n";
            s.data += "endurls\r\n";
        }
        return out;
    }();
    return sets[which];
}
