// Controls what RYINET's GetProcAddress import answers (the import is patched): chosen
// entries can be refused, or answered with a test's own function, while every other
// name resolves as usual.
#pragma once
#include <windows.h>
#include <string>
#include "iat.h"

class EntryControl {
public:
    EntryControl();
    ~EntryControl();
    EntryControl(const EntryControl&) = delete;
    EntryControl& operator=(const EntryControl&) = delete;

    void refuse(const std::string& name);
    void answer(const std::string& name, void* fn);
    template <typename Fn>
    void answer(const std::string& name, Fn fn) { answer(name, reinterpret_cast<void*>(fn)); }
    int lookups(const std::string& name) const;  // how often RYINET asked for name

private:
    ImportPatch patch_;
};
