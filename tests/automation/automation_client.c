/*
 * automation_client.c - a 64-bit client of RyInet.Session, late bound (IDispatch::Invoke),
 * as a 64-bit program that cannot load the 32-bit DLL reaches it.
 *   automation_client absent                    the class is not registered
 *   automation_client create                    the class is registered and its server starts
 *   automation_client session ADDR ROOT WORK [BREAKING BROOT]
 *                                               against pyftpdlib at ADDR, whose tree is
 *                                               ROOT; local files go to WORK; then against
 *                                               the server at BREAKING (tree BROOT) whose
 *                                               first transfer of each file breaks off
 * Prints "ok"/"not ok" a check, the costs measured, and "N passed, N failed".
 */
#define COBJMACROS
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <ocidl.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <string.h>
#include "ryinet_listing.h"
#include "ryinet_automation.h" /* from the IDL, for the vtable calls of early binding */

static int passed, failed;

static void check(int ok, const char *what) {
    printf("%s - %s\n", ok ? "ok" : "not ok", what);
    ok ? ++passed : ++failed;
}

static void print_wide(const char *label, const wchar_t *text) {
    char utf8[2048];
    WideCharToMultiByte(CP_UTF8, 0, text ? text : L"", -1, utf8, sizeof utf8, NULL, NULL);
    printf("   %s: %s\n", label, utf8);
}

/* Invokes a member by name with arguments given first to last; the failure's text, when
 * there is one, lands in *error (freed by the caller). */
static HRESULT call(IDispatch *d, const wchar_t *name, WORD flags, VARIANT *result, BSTR *error, int argc, ...) {
    DISPID id, put = DISPID_PROPERTYPUT;
    VARIANT args[4];
    DISPPARAMS params = {args, NULL, (UINT)argc, 0};
    EXCEPINFO exception;
    HRESULT hr;
    va_list ap;
    int i;
    LPOLESTR names[1] = {(LPOLESTR)name};
    if (error) *error = NULL;
    if (result) VariantInit(result);
    hr = IDispatch_GetIDsOfNames(d, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    va_start(ap, argc);
    for (i = argc - 1; i >= 0; --i) args[i] = va_arg(ap, VARIANT); /* Invoke takes them last first */
    va_end(ap);
    if (FAILED(hr)) {
        for (i = 0; i < argc; ++i) VariantClear(&args[i]);
        return hr;
    }
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    memset(&exception, 0, sizeof exception);
    hr = IDispatch_Invoke(d, id, &IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception, NULL);
    for (i = 0; i < argc; ++i) VariantClear(&args[i]);
    if (hr == DISP_E_EXCEPTION) {
        if (error) *error = exception.bstrDescription;
        else SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrHelpFile);
        if (FAILED(exception.scode)) hr = exception.scode;
    }
    return hr;
}

static VARIANT text(const wchar_t *s) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(s); /* the marshaler reads a BSTR's length: a literal will not do */
    return v;
}

static VARIANT flag(int on) {
    VARIANT v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = on ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

static VARIANT number(LONG n) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
    return v;
}

static HRESULT call0(IDispatch *d, const wchar_t *name, VARIANT *result) {
    return call(d, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, result, NULL, 0);
}

static double now_ms(void) {
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return (double)t.QuadPart * 1000.0 / (double)f.QuadPart;
}

/* The whole of a file, or NULL; *size is its length. */
static char *read_file(const wchar_t *path, DWORD *size) {
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    char *data;
    DWORD got = 0;
    if (f == INVALID_HANDLE_VALUE) return NULL;
    *size = GetFileSize(f, NULL);
    data = malloc(*size + 1);
    if (!ReadFile(f, data, *size, &got, NULL) || got != *size) {
        free(data);
        data = NULL;
    }
    CloseHandle(f);
    return data;
}

static int same_files(const wchar_t *a, const wchar_t *b) {
    DWORD na = 0, nb = 0;
    char *da = read_file(a, &na), *db = read_file(b, &nb);
    int same = da && db && na == nb && memcmp(da, db, na) == 0;
    free(da);
    free(db);
    return same;
}

static int server_running(void) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e;
    int found = 0;
    e.dwSize = sizeof e;
    for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e))
        if (lstrcmpiW(e.szExeFile, L"ryinet-automation.exe") == 0) found = 1;
    CloseHandle(snap);
    return found;
}

/* The listing array against the DLL's own text of the same listing: record for record,
 * the name, the directory flag, the size and the date. */
static int array_matches_text(SAFEARRAY *records, BSTR text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    char *utf8 = malloc(bytes);
    const char *cursor = utf8;
    RyListingEntry e;
    LONG i = 0, upper;
    int ok = 1;
    memset(&e, 0, sizeof e);
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, bytes, NULL, NULL);
    SafeArrayGetUBound(records, 1, &upper);
    for (; ok && RyListingNext(&cursor, &e) == 1; ++i) {
        VARIANT record, field;
        LONG k;
        wchar_t name[520];
        SYSTEMTIME t;
        VariantInit(&record);
        if (i > upper || FAILED(SafeArrayGetElement(records, &i, &record)) || V_VT(&record) != (VT_ARRAY | VT_VARIANT)) {
            ok = 0;
            break;
        }
        name[MultiByteToWideChar(CP_UTF8, 0, e.name, (int)e.nameLength, name, 519)] = 0;
        k = 0; SafeArrayGetElement(V_ARRAY(&record), &k, &field);
        ok = ok && V_VT(&field) == VT_BSTR && wcscmp(V_BSTR(&field), name) == 0;
        VariantClear(&field);
        k = 1; SafeArrayGetElement(V_ARRAY(&record), &k, &field);
        ok = ok && V_VT(&field) == VT_BOOL && (V_BOOL(&field) != 0) == (e.isDirectory != 0);
        k = 2; SafeArrayGetElement(V_ARRAY(&record), &k, &field);
        ok = ok && V_VT(&field) == VT_DATE && VariantTimeToSystemTime(V_DATE(&field), &t) && t.wYear == e.year &&
             t.wMonth == e.month && t.wDay == e.day && t.wHour == e.hour && t.wMinute == e.minute;
        k = 3; SafeArrayGetElement(V_ARRAY(&record), &k, &field);
        ok = ok && V_VT(&field) == VT_R8 && V_R8(&field) == (double)e.size;
        VariantClear(&record);
    }
    free(utf8);
    return ok && i == upper + 1 && i > 0;
}

/* The record of the listing whose name is name: its size, or -1 when it is not listed. */
static double listed_size(SAFEARRAY *records, const wchar_t *name) {
    LONG i, upper, k;
    double size = -1;
    SafeArrayGetUBound(records, 1, &upper);
    for (i = 0; i <= upper && size < 0; ++i) {
        VARIANT record, field;
        SafeArrayGetElement(records, &i, &record);
        k = 0; SafeArrayGetElement(V_ARRAY(&record), &k, &field);
        if (wcscmp(V_BSTR(&field), name) == 0) {
            VARIANT s;
            k = 3; SafeArrayGetElement(V_ARRAY(&record), &k, &s);
            size = V_R8(&s);
        }
        VariantClear(&field);
        VariantClear(&record);
    }
    return size;
}

/* A sink of the events, as a script host's would be: it records what came and sets
 * cancel at the Progress event cancelAt (0: never). */
static struct {
    int events, cancelAt, fell;
    double done, total;
} progress;
static struct {
    int events;
    LONG attempt;
    double doneBefore;
    wchar_t reason[512];
} retrying;

static HRESULT STDMETHODCALLTYPE SinkQueryInterface(IDispatch *self, REFIID riid, void **out) {
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) ||
        IsEqualIID(riid, &DIID__IRyInetSessionEvents)) {
        *out = self;
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE SinkAddRef(IDispatch *self) { (void)self; return 2; }
static ULONG STDMETHODCALLTYPE SinkRelease(IDispatch *self) { (void)self; return 1; }
static HRESULT STDMETHODCALLTYPE SinkTypeInfoCount(IDispatch *self, UINT *n) { (void)self; *n = 0; return S_OK; }
static HRESULT STDMETHODCALLTYPE SinkTypeInfo(IDispatch *self, UINT i, LCID l, ITypeInfo **t) {
    (void)self; (void)i; (void)l; *t = NULL; return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE SinkIds(IDispatch *self, REFIID r, LPOLESTR *n, UINT c, LCID l, DISPID *d) {
    (void)self; (void)r; (void)n; (void)c; (void)l; (void)d; return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE SinkInvoke(IDispatch *self, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                            DISPPARAMS *p, VARIANT *result, EXCEPINFO *e, UINT *arg) {
    (void)self; (void)riid; (void)lcid; (void)flags; (void)result; (void)e; (void)arg;
    if (id == 2 && p->cArgs == 2 && V_VT(&p->rgvarg[1]) == VT_I4 && V_VT(&p->rgvarg[0]) == VT_BSTR) {
        ++retrying.events;
        retrying.attempt = V_I4(&p->rgvarg[1]);
        retrying.doneBefore = progress.done;
        lstrcpynW(retrying.reason, V_BSTR(&p->rgvarg[0]), 512);
        return S_OK;
    }
    if (id != 1 || p->cArgs != 3 || V_VT(&p->rgvarg[0]) != (VT_BOOL | VT_BYREF)) return DISP_E_MEMBERNOTFOUND;
    if (V_R8(&p->rgvarg[2]) < progress.done) progress.fell = 1;
    progress.done = V_R8(&p->rgvarg[2]);  /* last to first */
    progress.total = V_R8(&p->rgvarg[1]);
    if (++progress.events == progress.cancelAt) *V_BOOLREF(&p->rgvarg[0]) = VARIANT_TRUE;
    return S_OK;
}
static IDispatchVtbl sinkVtbl = {SinkQueryInterface, SinkAddRef, SinkRelease, SinkTypeInfoCount,
                                 SinkTypeInfo, SinkIds, SinkInvoke};
static IDispatch sink = {&sinkVtbl};

/* Advises the sink the way script hosts find it: the class's default source interface
 * through IProvideClassInfo, then its connection point. The cookie, or 0. */
static DWORD advise(IDispatch *d) {
    IProvideClassInfo *provide = NULL;
    IConnectionPointContainer *container = NULL;
    IConnectionPoint *point = NULL;
    ITypeInfo *coclass = NULL, *source = NULL;
    TYPEATTR *attr = NULL;
    IID events = IID_NULL;
    DWORD cookie = 0;
    UINT i;
    if (FAILED(IDispatch_QueryInterface(d, &IID_IProvideClassInfo, (void **)&provide)) ||
        FAILED(IProvideClassInfo_GetClassInfo(provide, &coclass)) || FAILED(ITypeInfo_GetTypeAttr(coclass, &attr)))
        goto done;
    for (i = 0; i < attr->cImplTypes; ++i) {
        INT flags = 0;
        HREFTYPE ref;
        TYPEATTR *sourceAttr;
        ITypeInfo_GetImplTypeFlags(coclass, i, &flags);
        if (flags != (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) continue;
        if (SUCCEEDED(ITypeInfo_GetRefTypeOfImplType(coclass, i, &ref)) &&
            SUCCEEDED(ITypeInfo_GetRefTypeInfo(coclass, ref, &source)) &&
            SUCCEEDED(ITypeInfo_GetTypeAttr(source, &sourceAttr))) {
            events = sourceAttr->guid;
            ITypeInfo_ReleaseTypeAttr(source, sourceAttr);
        }
    }
    if (SUCCEEDED(IDispatch_QueryInterface(d, &IID_IConnectionPointContainer, (void **)&container)) &&
        SUCCEEDED(IConnectionPointContainer_FindConnectionPoint(container, &events, &point)))
        IConnectionPoint_Advise(point, (IUnknown *)&sink, &cookie);
done:
    if (attr) ITypeInfo_ReleaseTypeAttr(coclass, attr);
    if (source) ITypeInfo_Release(source);
    if (coclass) ITypeInfo_Release(coclass);
    if (point) IConnectionPoint_Release(point);
    if (container) IConnectionPointContainer_Release(container);
    if (provide) IProvideClassInfo_Release(provide);
    return cookie;
}

static void unadvise(IDispatch *d, DWORD cookie) {
    IConnectionPointContainer *container = NULL;
    IConnectionPoint *point = NULL;
    if (SUCCEEDED(IDispatch_QueryInterface(d, &IID_IConnectionPointContainer, (void **)&container)) &&
        SUCCEEDED(IConnectionPointContainer_FindConnectionPoint(container, &DIID__IRyInetSessionEvents, &point)))
        IConnectionPoint_Unadvise(point, cookie);
    if (point) IConnectionPoint_Release(point);
    if (container) IConnectionPointContainer_Release(container);
}

/* Progress of a 3 MiB GetFile, a cancel from the handler, and what a GetFile and an event
 * cost: 1-byte files, one event each, in turns with and without the sink. */
static void events(IDispatch *d, const wchar_t *work) {
    wchar_t local[MAX_PATH], part[MAX_PATH];
    BSTR error = NULL;
    VARIANT r;
    HRESULT hr;
    double plain = 0, raised = 0, start;
    int i, ok, rounds = 20;
    DWORD cookie = advise(d);
    check(cookie != 0, "the Progress event's connection point, found through IProvideClassInfo");
    swprintf(local, MAX_PATH, L"%ls\\three.bin", work);
    hr = call(d, L"GetFile", DISPATCH_METHOD, &r, NULL, 2, text(L"three.bin"), text(local));
    printf("   %d Progress events for 3 MiB, the last %.0f of %.0f\n", progress.events, progress.done, progress.total);
    check(hr == S_OK && progress.events >= 1 && progress.done == 3145728.0 && progress.total == 3145728.0,
          "Progress events arrive for a 3 MiB GetFile, the last one done = total");
    DeleteFileW(local);
    progress.events = 0;
    progress.cancelAt = 1;
    hr = call(d, L"GetFile", DISPATCH_METHOD, &r, &error, 2, text(L"three.bin"), text(local));
    print_wide("cancelled", error);
    swprintf(part, MAX_PATH, L"%ls.part", local);
    ok = GetFileAttributesW(part) == INVALID_FILE_ATTRIBUTES;
    swprintf(part, MAX_PATH, L"%ls.rykit-partial", local); /* a cancel keeps nothing to go on from */
    check(hr == (HRESULT)0x80040205 && error && wcsstr(error, L"cancelled") && ok &&
              GetFileAttributesW(local) == INVALID_FILE_ATTRIBUTES && GetFileAttributesW(part) == INVALID_FILE_ATTRIBUTES,
          "a cancel from the handler ends the transfer: \"cancelled\", no file, no .part, no partial");
    SysFreeString(error);
    progress.cancelAt = 0;
    swprintf(local, MAX_PATH, L"%ls\\one.txt", work);
    unadvise(d, cookie);
    for (i = 0; i < 2 * rounds; ++i) {
        int withSink = i % 2 == 0;
        if (withSink) cookie = advise(d);
        start = now_ms();
        call(d, L"GetFile", DISPATCH_METHOD, &r, NULL, 2, text(L"one.txt"), text(local));
        *(withSink ? &raised : &plain) += now_ms() - start;
        if (withSink) unadvise(d, cookie);
    }
    printf("   GetFile of 1 byte: %.1f ms; with one Progress event: %.1f ms; an event: %.1f ms\n", plain / rounds,
           raised / rounds, (raised - plain) / rounds);
}

/* The files of folder, but for directories: how many, and whether each of names is one of
 * them with the bytes of the same name in served. */
static int folder_holds(const wchar_t *folder, const wchar_t *served, const wchar_t *const *names, int count) {
    wchar_t a[MAX_PATH], b[MAX_PATH];
    WIN32_FIND_DATAW f;
    HANDLE h;
    int i, files = 0, same = 1;
    swprintf(a, MAX_PATH, L"%ls\\*", folder);
    h = FindFirstFileW(a, &f);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &f))
        files += !(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    for (i = 0; i < count; ++i) {
        swprintf(a, MAX_PATH, L"%ls\\%ls", folder, names[i]);
        swprintf(b, MAX_PATH, L"%ls\\%ls", served, names[i]);
        same = same && same_files(a, b);
    }
    return files == count && same;
}

/* GetFiles and PutFiles on the kit's pool (trees of automation_test.py): batch/ holds
 * a.bin (0 bytes) to d.bin (1.5 MB), a directory sub.bin, CON.bin and x:y.bin, which no
 * local file may be; partly/ two files and gone.bin, listed but never opened. */
static void batches(IDispatch *d, const wchar_t *addr, const wchar_t *root, const wchar_t *work) {
    static const wchar_t *const got[] = {L"a.bin", L"b.bin", L"c.bin", L"d.bin"}, *const partly[] = {L"one.bin", L"two.bin"};
    static const struct { LONG value; HRESULT hr; } parallel[] = {{0, E_INVALIDARG}, {17, E_INVALIDARG},
                                                                  {-1, E_INVALIDARG}, {16, S_OK}, {1, S_OK}, {3, S_OK}};
    wchar_t local[MAX_PATH], remote[MAX_PATH], served[MAX_PATH], pattern[MAX_PATH];
    BSTR error = NULL;
    VARIANT r;
    HRESULT hr;
    DWORD cookie;
    int i, ok;
    call0(d, L"Parallel", &r);
    check(V_VT(&r) == VT_I4 && V_I4(&r) == 4, "Parallel is 4 by default");
    for (i = 0, ok = 1; i < (int)(sizeof parallel / sizeof *parallel); ++i) {
        hr = call(d, L"Parallel", DISPATCH_PROPERTYPUT, NULL, &error, 1, number(parallel[i].value));
        ok = ok && hr == parallel[i].hr && (hr == S_OK || (error && wcsstr(error, L"1 to 16")));
        SysFreeString(error);
    }
    call0(d, L"Parallel", &r);
    check(ok && V_I4(&r) == 3, "Parallel takes 1 to 16 (0, 17 and -1 fail, saying so)");

    call0(d, L"Disconnect", NULL);  /* the session's connection is active by now; the pool needs passive */
    call(d, L"Connect", DISPATCH_METHOD, NULL, NULL, 3, text(addr), text(L"ryuser"), text(L"rypass"));
    cookie = advise(d);
    memset(&progress, 0, sizeof progress);
    swprintf(local, MAX_PATH, L"%ls\\batch-got", work);
    swprintf(served, MAX_PATH, L"%ls\\batch", root);
    hr = call(d, L"GetFiles", DISPATCH_METHOD, &r, &error, 2, text(L"batch/*.bin"), text(local));
    print_wide("GetFiles error", error);
    SysFreeString(error);
    printf("   %d Progress events for the batch, the last %.0f of %.0f\n", progress.events, progress.done, progress.total);
    check(hr == S_OK && V_VT(&r) == VT_I4 && V_I4(&r) == 4 && folder_holds(local, served, got, 4),
          "GetFiles(\"batch/*.bin\") receives the 4 files byte for byte, and passes over sub.bin, CON.bin, x:y.bin");
    check(progress.events >= 1 && !progress.fell && progress.done == 1600001.0 && progress.total == 1600001.0,
          "Progress tells the batch, to done = total");
    swprintf(pattern, MAX_PATH, L"%ls\\*.bin", local);
    swprintf(remote, MAX_PATH, L"%ls\\up", served);
    hr = call(d, L"PutFiles", DISPATCH_METHOD, &r, &error, 2, text(pattern), text(L"batch/up"));
    print_wide("PutFiles error", error);
    SysFreeString(error);
    check(hr == S_OK && V_I4(&r) == 4 && folder_holds(remote, local, got, 4), "PutFiles sends the 4 files byte for byte");

    swprintf(local, MAX_PATH, L"%ls\\partly-got", work);
    swprintf(served, MAX_PATH, L"%ls\\partly", root);
    memset(&progress, 0, sizeof progress);
    progress.cancelAt = 1;  /* the batch's first event, before any file: on one connection, none begun */
    call(d, L"Parallel", DISPATCH_PROPERTYPUT, NULL, NULL, 1, number(1));
    hr = call(d, L"GetFiles", DISPATCH_METHOD, &r, &error, 2, text(L"partly/*"), text(local));
    call(d, L"Parallel", DISPATCH_PROPERTYPUT, NULL, NULL, 1, number(3));
    print_wide("cancelled", error);
    check(hr == (HRESULT)0x80040205 && error && wcsstr(error, L"cancelled") && folder_holds(local, served, NULL, 0),
          "a cancel from the handler ends the batch: \"cancelled\", no file");
    SysFreeString(error);
    progress.cancelAt = 0;
    hr = call(d, L"GetFiles", DISPATCH_METHOD, &r, &error, 2, text(L"partly/*"), text(local));
    print_wide("partly error", error);
    check(hr == (HRESULT)0x80040201 && error &&
              wcsstr(error, L"1 of 3 files could not be received; the first, partly/gone.bin: Unable to open file.\r\n550 ") &&
              folder_holds(local, served, partly, 2),
          "a file the server cannot open fails GetFiles once the other 2 came, byte for byte");
    SysFreeString(error);
    unadvise(d, cookie);
}

/* Retries against the breaking server: its first RETR of big.bin sends half, then 426; its
 * first STOR keeps 512 KiB. Both calls succeed after one Retrying, going on from where the
 * transfer broke (the test reads the server's logs for that). */
static void broken(IDispatch *d, const wchar_t *addr, const wchar_t *root, const wchar_t *work) {
    wchar_t local[MAX_PATH], path[MAX_PATH];
    BSTR error = NULL;
    VARIANT r;
    HRESULT hr;
    DWORD cookie;
    call0(d, L"Retries", &r);
    check(V_VT(&r) == VT_I4 && V_I4(&r) == 5, "Retries is 5 by default");
    check(FAILED(call(d, L"Retries", DISPATCH_PROPERTYPUT, NULL, NULL, 1, number(101))) &&
              call(d, L"Retries", DISPATCH_PROPERTYPUT, NULL, NULL, 1, number(2)) == S_OK,
          "Retries takes 0..100");
    hr = call(d, L"Connect", DISPATCH_METHOD, NULL, NULL, 3, text(addr), text(L"ryuser"), text(L"rypass"));
    cookie = advise(d);
    memset(&progress, 0, sizeof progress);
    memset(&retrying, 0, sizeof retrying);
    swprintf(local, MAX_PATH, L"%ls\\big.bin", work);
    swprintf(path, MAX_PATH, L"%ls\\big.bin", root);
    DeleteFileW(local);
    hr = call(d, L"GetFile", DISPATCH_METHOD, &r, &error, 2, text(L"big.bin"), text(local));
    print_wide("broken get error", error);
    print_wide("Retrying", retrying.reason);
    printf("   Retrying %d (attempt %ld, after %.0f bytes); %d Progress events, the last %.0f of %.0f\n",
           retrying.events, (long)retrying.attempt, retrying.doneBefore, progress.events, progress.done, progress.total);
    SysFreeString(error);
    check(hr == S_OK && V_R8(&r) == 2000000.0 && same_files(local, path), "a broken GetFile completes, byte for byte");
    check(retrying.events == 1 && retrying.attempt == 1 && wcsstr(retrying.reason, L"broken off"),
          "Retrying(1, \"broken off ...\") once");
    wcscat(local, L".rykit-partial");
    check(!progress.fell && progress.done == 2000000.0 && retrying.doneBefore > 0 &&
              GetFileAttributesW(local) == INVALID_FILE_ATTRIBUTES,
          "Progress goes on across the attempts, to done = total; no partial is left");
    local[wcslen(local) - wcslen(L".rykit-partial")] = 0;
    memset(&retrying, 0, sizeof retrying);
    hr = call(d, L"PutFile", DISPATCH_METHOD, &r, &error, 2, text(local), text(L"put.bin"));
    print_wide("broken put error", error);
    SysFreeString(error);
    swprintf(path, MAX_PATH, L"%ls\\put.bin", root);
    check(hr == S_OK && retrying.events == 1 && same_files(local, path), "a broken PutFile completes after one Retrying");
    unadvise(d, cookie);
    call0(d, L"Disconnect", NULL);
}

static int session(const wchar_t *addr, const wchar_t *root, const wchar_t *work, const wchar_t *breaking,
                   const wchar_t *breakingRoot) {
    /* Names with two-byte, three-byte and four-byte UTF-8 (a surrogate pair in UTF-16);
     * no spaces, which Wine's WININET cuts from a listed name. */
    static const wchar_t remote[] = L"Gr\u00fc\u00dfe-\u20ac-\U0001D11E.txt";
    static const wchar_t stored[] = L"\u00dcnicode-\u2603-\U0001D11E-put.txt";
    wchar_t local[MAX_PATH], path[MAX_PATH], stored_path[MAX_PATH];
    CLSID clsid;
    IDispatch *d = NULL;
    VARIANT r, records;
    BSTR error, text1 = NULL, text2 = NULL;
    HRESULT hr;
    double start, cost;
    int i, rounds = 200;

    check(SUCCEEDED(CLSIDFromProgID(L"RyInet.Session", &clsid)), "the ProgID RyInet.Session is registered");
    start = now_ms();
    hr = CoCreateInstance(&clsid, NULL, CLSCTX_LOCAL_SERVER, &IID_IDispatch, (void **)&d);
    printf("   server start and first object: %.0f ms\n", now_ms() - start);
    check(SUCCEEDED(hr), "CoCreateInstance(CLSCTX_LOCAL_SERVER) from a 64-bit process");
    if (FAILED(hr)) return 1;

    check(call(d, L"ShowBoxes", DISPATCH_PROPERTYPUT, NULL, NULL, 1, flag(0)) == S_OK, "ShowBoxes = False");
    hr = call(d, L"Delete", DISPATCH_METHOD, NULL, &error, 1, text(L"x"));
    check(hr != S_OK && error && wcsstr(error, L"Connect"), "a call before Connect fails with its reason");
    SysFreeString(error);
    hr = call(d, L"Connect", DISPATCH_METHOD, NULL, &error, 3, text(addr), text(L"ryuser"), text(L"rypass"));
    check(hr == S_OK, "Connect (passive, the default)");
    print_wide("connect error", error);
    SysFreeString(error);
    call0(d, L"Utf8", &r);
    check(V_VT(&r) == VT_BOOL && V_BOOL(&r), "names travel as UTF-8 (the server announces UTF8)");

    call0(d, L"ListText", &r);
    text1 = V_BSTR(&r);
    hr = call0(d, L"List", &records);
    check(hr == S_OK && V_VT(&records) == (VT_ARRAY | VT_VARIANT) && array_matches_text(V_ARRAY(&records), text1),
          "List's records match the DLL's listing text, record for record");
    {
        DWORD size = 0;
        char *data;
        swprintf(path, MAX_PATH, L"%ls\\%ls", root, remote);
        data = read_file(path, &size);
        check(data && listed_size(V_ARRAY(&records), remote) == (double)size, "the non-ASCII name is listed with its size");
        free(data);
    }
    VariantClear(&records);

    swprintf(local, MAX_PATH, L"%ls\\got %ls", work, remote);
    hr = call(d, L"GetFile", DISPATCH_METHOD, &r, &error, 2, text(remote), text(local));
    print_wide("get error", error);
    SysFreeString(error);
    check(hr == S_OK && same_files(local, path), "GetFile of a non-ASCII name gives the server's bytes");
    hr = call(d, L"PutFile", DISPATCH_METHOD, &r, NULL, 2, text(local), text(stored));
    swprintf(stored_path, MAX_PATH, L"%ls\\%ls", root, stored);
    check(hr == S_OK && same_files(local, stored_path), "PutFile stores the bytes under a non-ASCII name");

    hr = call(d, L"Delete", DISPATCH_METHOD, NULL, &error, 1, text(L"no such file.txt"));
    print_wide("delete error", error);
    check(FAILED(hr) && error && wcsncmp(error, L"Unable to delete file.\r\n550 ", 28) == 0,
          "a refused Delete fails with the DLL's text and the server's reply");
    SysFreeString(error);
    hr = call(d, L"CurrentDirectory", DISPATCH_PROPERTYPUT, NULL, &error, 1, text(L"no such dir"));
    check(FAILED(hr) && error && wcsstr(error, L"550"), "a refused directory change fails with the reply");
    SysFreeString(error);

    SysFreeString(text1);
    call0(d, L"ListText", &r);
    text1 = V_BSTR(&r);
    call0(d, L"Disconnect", NULL);
    hr = call(d, L"Connect", DISPATCH_METHOD, NULL, NULL, 4, text(addr), text(L"ryuser"), text(L"rypass"), flag(0));
    call0(d, L"ListText", &r);
    text2 = V_BSTR(&r);
    check(hr == S_OK && text1 && text2 && wcscmp(text1, text2) == 0, "an active connection lists the same");

    {
        /* A directory longer than a step of the server's result buffer (64 KiB). */
        LONG upper = -1;
        VariantClear(&r);
        hr = call(d, L"CurrentDirectory", DISPATCH_PROPERTYPUT, NULL, NULL, 1, text(L"many"));
        call0(d, L"ListText", &r);
        call0(d, L"List", &records);
        if (V_VT(&records) == (VT_ARRAY | VT_VARIANT)) SafeArrayGetUBound(V_ARRAY(&records), 1, &upper);
        check(hr == S_OK && upper + 1 == 2000 && SysStringLen(V_BSTR(&r)) > 64 * 1024 &&
                  array_matches_text(V_ARRAY(&records), V_BSTR(&r)),
              "a listing of 2000 records, longer than 64 KiB, whole");
        VariantClear(&records);
        VariantClear(&r);
        call(d, L"CurrentDirectory", DISPATCH_PROPERTYPUT, NULL, NULL, 1, text(L"/"));
    }
    {
        /* Early binding: the same object through its vtable, the error through IErrorInfo. */
        IRyInetSession *v = NULL;
        IErrorInfo *info = NULL;
        BSTR description = NULL, name = SysAllocString(L"no such file.txt");
        VARIANT_BOOL utf8 = VARIANT_FALSE;
        hr = IDispatch_QueryInterface(d, &IID_IRyInetSession, (void **)&v);
        check(SUCCEEDED(hr) && IRyInetSession_get_Utf8(v, &utf8) == S_OK && utf8 == VARIANT_TRUE,
              "a vtable call (IRyInetSession::get_Utf8)");
        hr = v ? IRyInetSession_Delete(v, name) : E_FAIL;
        if (GetErrorInfo(0, &info) == S_OK) {
            IErrorInfo_GetDescription(info, &description);
            IErrorInfo_Release(info);
        }
        check(hr == (HRESULT)0x80040201, "a vtable call's failure: RYINET_E_REFUSED");
        /* Wine 8's COM does not carry IErrorInfo across processes; Windows does. */
        print_wide("vtable IErrorInfo text", description ? description : L"(none reached this process)");
        SysFreeString(description);
        SysFreeString(name);
        if (v) IRyInetSession_Release(v);
    }
    start = now_ms();
    for (i = 0; i < rounds; ++i) call0(d, L"Utf8", &r);
    cost = (now_ms() - start) / rounds;
    printf("   cost of a call (Invoke of a property, %d rounds): %.2f ms\n", rounds, cost);
    start = now_ms();
    for (i = 0; i < 20; ++i) VariantClear(&r), call0(d, L"ListText", &r);
    printf("   cost of ListText (%d rounds): %.2f ms\n", 20, (now_ms() - start) / 20);
    VariantClear(&r);

    SysFreeString(text1);
    SysFreeString(text2);
    events(d, work);
    batches(d, addr, root, work);
    if (breaking) broken(d, breaking, breakingRoot, work);
    check(server_running(), "the server runs while the object lives");
    IDispatch_Release(d);
    for (i = 0; i < 100 && server_running(); ++i) Sleep(100);
    check(!server_running(), "the server exits when its last object is released");
    return 0;
}

int wmain(int argc, wchar_t **argv) {
    HRESULT hr = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return 2;
    if (argc == 2 && wcscmp(argv[1], L"create") == 0) {
        CLSID clsid;
        IUnknown *u = NULL;
        check(SUCCEEDED(CLSIDFromProgID(L"RyInet.Session", &clsid)) &&
                  SUCCEEDED(CoCreateInstance(&clsid, NULL, CLSCTX_LOCAL_SERVER, &IID_IUnknown, (void **)&u)),
              "CreateObject(\"RyInet.Session\") finds the server");
        if (u) IUnknown_Release(u);
    } else if (argc == 2 && wcscmp(argv[1], L"absent") == 0) {
        CLSID clsid;
        IUnknown *u = NULL;
        static const CLSID session = {0x9F4DA8C0, 0x691D, 0x4EDD, {0x8B, 0x30, 0x59, 0x04, 0xA2, 0x73, 0xAB, 0x1B}};
        check(FAILED(CLSIDFromProgID(L"RyInet.Session", &clsid)), "the ProgID RyInet.Session is not registered");
        hr = CoCreateInstance(&session, NULL, CLSCTX_LOCAL_SERVER, &IID_IUnknown, (void **)&u);
        check(hr == REGDB_E_CLASSNOTREG, "the class is not registered");
        if (u) IUnknown_Release(u);
    } else if ((argc == 5 || argc == 7) && wcscmp(argv[1], L"session") == 0) {
        session(argv[2], argv[3], argv[4], argc == 7 ? argv[5] : NULL, argc == 7 ? argv[6] : NULL);
    } else {
        fprintf(stderr, "usage: automation_client absent | create | session ADDR ROOT WORK [BREAKING BROOT]\n");
        return 2;
    }
    CoUninitialize();
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
