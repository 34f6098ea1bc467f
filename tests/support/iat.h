// Replaces one import of a loaded module in its import address table, and puts the
// original back when the patch goes out of scope. How the tests record boxes, inject
// platform behaviour and take entries away without any hook inside the shipped DLL.
#pragma once
#include <windows.h>

// The slot of module's import dll!function, or nullptr.
void** FindImportSlot(HMODULE module, const char* dll, const char* function);

class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    void* original() const { return original_; }
    bool active() const { return slot_ != nullptr; }

    template <typename Fn>
    Fn original_as() const { return reinterpret_cast<Fn>(original_); }

private:
    void** slot_;
    void* original_;
};

// The DLL under test, as the test process loaded it.
HMODULE Ryinet();
