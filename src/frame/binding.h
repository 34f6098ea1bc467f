// Per-call binding to the system's internet library. The library is never linked:
// each export loads it for the length of its call and drops exactly its own
// reference on every path, so handles the host holds are not affected.
#pragma once
#include <windows.h>
#include <wininet.h>
#include "unique.h"

struct LoadedLibrary {
    using Type = HMODULE;
    static Type None() { return nullptr; }
    static void Release(Type module) { FreeLibrary(module); }
};
using InternetBinding = Unique<LoadedLibrary>;

// The internet library from the system directory, or none.
HMODULE LoadInternetLibrary();

// Typed by the platform's own declaration, so name and type cannot disagree:
//   auto open = Resolve<decltype(&::InternetOpenA)>(inet, "InternetOpenA");
template <typename Fn>
Fn Resolve(const InternetBinding& binding, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(binding.get(), name)));
}

// Resolves an entry by the same token as its declaration.
#define RY_RESOLVE(binding, fn) Resolve<decltype(&::fn)>((binding), #fn)
