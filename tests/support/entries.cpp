#include "entries.h"
#include <map>
#include <mutex>

namespace {
std::mutex g_lock;
std::map<std::string, void*> g_answers;  // nullptr: refused
std::map<std::string, int> g_lookups;

FARPROC WINAPI ControlledGetProcAddress(HMODULE module, LPCSTR name) {
    if (HIWORD(name)) {
        std::lock_guard<std::mutex> hold(g_lock);
        ++g_lookups[name];
        auto it = g_answers.find(name);
        if (it != g_answers.end()) {
            if (!it->second) SetLastError(ERROR_PROC_NOT_FOUND);
            return reinterpret_cast<FARPROC>(it->second);
        }
    }
    return GetProcAddress(module, name);
}
}  // namespace

EntryControl::EntryControl()
    : patch_(Ryinet(), "KERNEL32.dll", "GetProcAddress",
             reinterpret_cast<void*>(&ControlledGetProcAddress)) {}

EntryControl::~EntryControl() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_answers.clear();
    g_lookups.clear();
}

void EntryControl::refuse(const std::string& name) { answer(name, static_cast<void*>(nullptr)); }

void EntryControl::answer(const std::string& name, void* fn) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_answers[name] = fn;
}

int EntryControl::lookups(const std::string& name) const {
    std::lock_guard<std::mutex> hold(g_lock);
    auto it = g_lookups.find(name);
    return it == g_lookups.end() ? 0 : it->second;
}
