#include "platform/modules.h"

#include "platform/text.h"

#include <mutex>

namespace {

struct Module {
    std::map<std::string, void*> entries;
    int loads = 0;
};

struct Table {
    std::mutex lock;
    std::map<std::string, Module> modules;             // by upper-cased name
    std::map<ModuleHandle, std::string> handles;       // loaded handle -> name
    ModuleHandle next = 0x1000;
};

Table& table() {
    static Table t;
    return t;
}

}  // namespace

void RegisterModule(const std::string& name, std::map<std::string, void*> entries) {
    auto& t = table();
    std::lock_guard g(t.lock);
    t.modules[upperAZ(name)].entries = std::move(entries);
}

void UnregisterModule(const std::string& name) {
    auto& t = table();
    std::lock_guard g(t.lock);
    t.modules.erase(upperAZ(name));
}

ModuleHandle LoadLibrary(const std::string& name) {
    auto& t = table();
    std::lock_guard g(t.lock);
    auto it = t.modules.find(upperAZ(name));
    if (it == t.modules.end()) return 0;
    ++it->second.loads;
    const ModuleHandle h = t.next++;
    t.handles[h] = it->first;
    return h;
}

void* GetProcAddress(ModuleHandle module, const std::string& function) {
    auto& t = table();
    std::lock_guard g(t.lock);
    auto h = t.handles.find(module);
    if (h == t.handles.end()) return nullptr;
    auto m = t.modules.find(h->second);
    if (m == t.modules.end()) return nullptr;
    auto e = m->second.entries.find(function);
    return e == m->second.entries.end() ? nullptr : e->second;
}

bool FreeLibrary(ModuleHandle module) {
    auto& t = table();
    std::lock_guard g(t.lock);
    auto h = t.handles.find(module);
    if (h == t.handles.end()) return false;
    if (auto m = t.modules.find(h->second); m != t.modules.end()) --m->second.loads;
    t.handles.erase(h);
    return true;
}
