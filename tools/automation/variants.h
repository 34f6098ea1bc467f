// The types automation clients take back: a String, an array of Variants (what script
// hosts iterate), and a listing record.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <string>
#include <vector>
#include "ryinet_listing.h"

// A BSTR result, or E_OUTOFMEMORY.
HRESULT ReturnText(const std::wstring& text, BSTR* out);
// The items as a one-dimensional array of VARIANTs, which it takes (and clears).
HRESULT ReturnArray(std::vector<VARIANT>& items, VARIANT* out);
VARIANT TextVariant(const std::wstring& text);
// One listing record: Name, IsDirectory, Modified (Null outside the calendar), Size.
VARIANT RecordVariant(const RyListingEntry& e, const std::wstring& name);
