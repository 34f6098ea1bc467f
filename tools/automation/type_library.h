// The type library embedded in this program (resource TYPELIB 1): it describes the
// interface to COM's universal marshaler and to late-bound callers.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <string>

// The full path of this program, as the registry and LoadTypeLibEx take it.
std::wstring ThisProgramPath();

// The type information of the library's interface, event interface or class, loaded
// once per process. Adds a reference.
HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** out);
