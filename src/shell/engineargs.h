#pragma once
// The words an application object is made with, so that the engine starts as this program
// needs it: the program's own words, none of them a switch (Qt and the engine read words
// that load plugins from a folder of the caller's choosing or open an inspector), then the
// engine's own switches. Its plain-web requests go through the proxy; WebRTC sends nothing
// past the proxy (no UDP, TCP only by a tunnel that meets the rules); pages run no shared
// workers, whose sockets the request gate never hears of.
#include <string>
#include <vector>

class GateProxy;

class EngineArguments {
public:
    EngineArguments(const std::vector<char*>& words, const GateProxy* proxy);
    EngineArguments(const EngineArguments&) = delete;
    EngineArguments& operator=(const EngineArguments&) = delete;
    int& count() { return count_; }
    char** values() { return words_.data(); }

private:
    std::vector<std::string> switches_;
    std::vector<char*> words_;
    int count_ = 0;
};
