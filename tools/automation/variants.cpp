#include "variants.h"

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReturnArray(std::vector<VARIANT>& items, VARIANT* out) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
    HRESULT hr = array ? S_OK : E_OUTOFMEMORY;
    for (LONG i = 0; SUCCEEDED(hr) && i < static_cast<LONG>(items.size()); ++i)
        hr = SafeArrayPutElement(array, &i, &items[i]);
    for (VARIANT& v : items) VariantClear(&v);
    if (FAILED(hr)) {
        if (array) SafeArrayDestroy(array);
        return hr;
    }
    V_VT(out) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(out) = array;
    return S_OK;
}

VARIANT TextVariant(const std::wstring& text) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

VARIANT RecordVariant(const RyListingEntry& e, const std::wstring& name) {
    std::vector<VARIANT> fields(4);
    fields[0] = TextVariant(name);
    VariantInit(&fields[1]);
    V_VT(&fields[1]) = VT_BOOL;
    V_BOOL(&fields[1]) = e.isDirectory ? VARIANT_TRUE : VARIANT_FALSE;
    VariantInit(&fields[2]);
    SYSTEMTIME t = {};
    t.wYear = static_cast<WORD>(e.year);
    t.wMonth = static_cast<WORD>(e.month);
    t.wDay = static_cast<WORD>(e.day);
    t.wHour = static_cast<WORD>(e.hour);
    t.wMinute = static_cast<WORD>(e.minute);
    double date;
    if (e.year != 0 && SystemTimeToVariantTime(&t, &date)) {
        V_VT(&fields[2]) = VT_DATE;
        V_DATE(&fields[2]) = date;
    } else {
        V_VT(&fields[2]) = VT_NULL;
    }
    VariantInit(&fields[3]);
    V_VT(&fields[3]) = VT_R8;  // a Double holds every 32-bit size, and every script host reads it
    V_R8(&fields[3]) = static_cast<double>(e.size);
    VARIANT record;
    VariantInit(&record);
    if (FAILED(ReturnArray(fields, &record))) V_VT(&record) = VT_EMPTY;
    return record;
}
