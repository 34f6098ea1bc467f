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
    bool active() const { return slot_ != nullptr; }

private:
    void** slot_;
    void* original_;
};

// The DLL under test, as the test process loaded it.
HMODULE Ryinet();
