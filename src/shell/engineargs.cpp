#include "shell/engineargs.h"

#include "proxy/proxy.h"

EngineArguments::EngineArguments(const std::vector<char*>& words, const GateProxy* proxy) {
    // After this word the engine reads only what follows it, so no word of the caller's
    // reaches it even when the proxy adds none.
    switches_ = {"--webEngineArgs", "--force-webrtc-ip-handling-policy=disable_non_proxied_udp",
                 "--disable-shared-workers"};
    if (proxy)
        for (std::string& s : proxy->engineSwitches()) switches_.push_back(std::move(s));
    for (std::size_t i = 0; i < words.size(); ++i)
        if (i == 0 || words[i][0] != '-') words_.push_back(words[i]);
    for (std::string& s : switches_) words_.push_back(s.data());
    count_ = static_cast<int>(words_.size());
    words_.push_back(nullptr);
}
