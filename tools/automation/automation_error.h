// A failure as automation reports it: an HRESULT, and IErrorInfo text the client reads
// (VBScript's Err.Description, .NET's COMException.Message, EXCEPINFO of Invoke).
#pragma once
#include <windows.h>
#include <string>

HRESULT RaiseError(HRESULT hr, const std::wstring& description);
