#pragma once
// The built-in module table: libraries are tables of named entry points registered at
// start, loaded and bound by name as a module loader would.
#include <cstdint>
#include <map>
#include <string>

using ModuleHandle = std::uintptr_t;

// A handle below this value means that nothing was loaded.
constexpr ModuleHandle MinModuleHandle = 32;

void RegisterModule(const std::string& name, std::map<std::string, void*> entries);
void UnregisterModule(const std::string& name);

// Names compare without regard to letter case. 0 when there is no such module.
ModuleHandle LoadLibrary(const std::string& name);
// nullptr when the module has no such entry.
void* GetProcAddress(ModuleHandle module, const std::string& function);
bool FreeLibrary(ModuleHandle module);
