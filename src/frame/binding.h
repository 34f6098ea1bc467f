// Per-call binding to the system's internet library. The library is never linked:
// each export loads it for the length of its call and drops exactly its own
// reference on every path, so handles the host holds are not affected.
#pragma once
#include <windows.h>
#include <wininet.h>

class InternetBinding {
public:
    InternetBinding();
    ~InternetBinding();
    InternetBinding(const InternetBinding&) = delete;
    InternetBinding& operator=(const InternetBinding&) = delete;

    bool bound() const { return module_ != nullptr; }

    // Typed by the platform's own declaration, so name and type cannot disagree:
    //   auto open = binding.resolve<decltype(&::InternetOpenA)>("InternetOpenA");
    template <typename Fn>
    Fn resolve(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

// Resolves an entry by the same token as its declaration.
#define RY_RESOLVE(binding, fn) (binding).resolve<decltype(&::fn)>(#fn)
