#!/usr/bin/env python3
"""check_bindings.py --source DIR --build DIR LANGUAGE [...]: a binding against the library.

Every language: the binding's declarations (names in exact case, entry points, library,
calling convention, argument bytes, by-value passing, types, argument names in order,
the buffer-size constants) are compared with ryinet.def and ryinet.h; then wrong copies
made from the shipped file, each with one fault, must be refused with that fault.
vb, python: read from the source text. csharp: compiled with mcs -platform:x86 and read
back by reflection under mono, which also runs its listing reader. pascal: read from the
text, then a host compiled with a ppc386 cross compiler runs under Wine against a real
FTP server and the RAS stand-in, the stack pointer measured around every call; a wrong
copy is run too. Every listing reader that runs reads the same sample as ryinet_listing.h,
and each UTF-8 name helper that runs gives back the UTF-16 of a listing of UTF-8 names
(vb: its MultiByteToWideChar declaration and CP_UTF8 calls are read instead).
"""
import argparse
import ast
import collections
import ctypes
import glob
import os
import re
import shutil
import subprocess
import sys
import types

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "package"))
from package_check import finish, problems  # noqa: E402  one report for every check script
Decl = collections.namedtuple("Decl", "entry lib convention ret params extra")  # params: (name, type, byref)

# The header's types as each language must spell them.
TYPES = {
    "vb": dict(DWORD="Long", HWND="Long", LONG="Long", LPCSTR="String", LPSTR="String"),
    "pascal": dict(DWORD="DWORD", HWND="HWND", LONG="LongInt", LPCSTR="PAnsiChar", LPSTR="PAnsiChar"),
    "python": dict(DWORD="DWORD", HWND="HWND", LONG="LONG", LPCSTR="LPCSTR", LPSTR="LPSTR"),
    "csharp": dict(DWORD="System.UInt32", HWND="System.IntPtr", LONG="System.Int32", LPCSTR="System.String",
                   LPSTR="System.Byte[]"),
}
FILES = dict(vb="RyInet.bas", pascal="ryinet.pas", python="ryinet.py", csharp="RyInet.cs")

# Wrong copies: (export the fault is in, or "*" for all, pattern, replacement, word of the
# expected problem). Each pattern must occur in the shipped file.
MUTANTS = {
    "vb": [
        ("RyFtpConnect", r", _\n\s*ByVal password As String\) As Long", ") As Long", "argument bytes"),
        ("RyFtpDir", r"ByVal listing As String", "listing As String", "by reference"),
        ("RyFtpOpenFile", r"\(ByVal hwndOwner As Long, _\n(\s*)ByVal connection As Long,",
         r"(ByVal connection As Long, _\n\1ByVal hwndOwner As Long,", "the header's"),
        ("RyINetClose", r'RyINetClose Lib', "RyINetClose CDecl Lib", "convention"),
        ("RyUtf8Name", r"CP_UTF8 As Long = 65001", "CP_UTF8 As Long = 0", "code page"),
        ("RyUtf8Name", r"ByVal wideCharStr As Long", "ByVal wideCharStr As String", "ANSI"),
    ],
    "pascal": [
        ("RyFRenFile", r"existingName, newName: PAnsiChar", "existingName: PAnsiChar", "argument bytes"),
        ("RyGetIp", r"RyGetIp\(address, hostName: PAnsiChar\)", "RyGetIp(var address: PAnsiChar; hostName: PAnsiChar)",
         "by reference"),
        ("RyFtpCurDir", r"RyFtpCurDir\(connection: DWORD; hwndOwner: HWND;", "RyFtpCurDir(hwndOwner: HWND; connection: DWORD;",
         "the header's"),
    ],
    "python": [
        ("*", r"_dll = ctypes\.WinDLL\(", "_dll = ctypes.CDLL(", "convention"),
        ("RyFtpDir", r', \("listing", LPSTR\)\)', ")", "argument bytes"),
        ("RyFSetDir", r'\("connection", DWORD\), \("ignored", DWORD\)', '("ignored", DWORD), ("connection", DWORD)',
         "the header's"),
        ("RyRasEnumE", r'\("names", LPSTR\)', '("names", ctypes.POINTER(LPSTR))', "by reference"),
        ("RyINetOpen", r'RyINetOpen = _declare\("RyINetOpen"', 'RyInetOpen = _declare("RyInetOpen"', "declared"),
    ],
    "csharp": [
        ("RyFtpDir", r'(EntryPoint = "RyFtpDir", CallingConvention = CallingConvention\.)StdCall', r"\1Cdecl", "convention"),
        ("RyGetIp", r"RyGetIp\(byte\[\] address", "RyGetIp(ref byte[] address", "by reference"),
        ("RyFtpConnect", r"(RyFtpConnect\([^)]*), string password\)", r"\1)", "argument bytes"),
        ("RyFtpOpenFile", r"RyFtpOpenFile\(IntPtr hwndOwner, uint connection", "RyFtpOpenFile(uint connection, IntPtr hwndOwner",
         "the header's"),
        ("RyFDelFile", r'(EntryPoint = "RyFDelFile", CallingConvention = CallingConvention.StdCall, CharSet = CharSet\.)Ansi',
         r"\1Unicode", "charset"),
    ],
}
# Run under Wine: a stack the callee and the caller both clean, and one argument of 8 bytes.
PASCAL_RUN_MUTANT = [(r"stdcall(; external 'RYINET.dll' name 'RyFtpDir')", r"cdecl\1"),
                     (r"RyINetClose\(handle: DWORD; hwndOwner: HWND\)", "RyINetClose(handle: DWORD; hwndOwner: Int64)")]
PASCAL_RUN_MOVES = {"RyFtpDir": 20, "RyINetClose": -4}

# Names holding ';' and '|', negative and over-wide sizes, a five-digit year, "<DIR>" after a
# name that is not " [ name ] ", and a time outside the calendar.
SAMPLE = (b"readme.txt;03/07/1998  14:05;512| [ pub ] ;03/07/1998  14:05;<DIR>|a;b|c.txt;12/31/1999  23:59;-7|"
          b"x <DIR>;01/01/10000  00:00;<DIR>;01/01/2000  00:00;4294967297|big;00/00/0000  00:00;2147483647|"
          b"y;01/02/2003  04:05;12345678901;02/03/2004  05:06;0|")
# Names from a UTF-8 server, a directory among them, and one beyond the BMP (two UTF-16 units).
UTF8_NAMES = ["café.txt", "Привет", "日本語", "𝄞.mid"]
UTF8_LISTING = (b"".join(n.encode() + b";03/07/1998  14:05;512|" for n in UTF8_NAMES[:2])
                + b" [ " + UTF8_NAMES[2].encode() + b" ] ;03/07/1998  14:05;<DIR>|"
                + UTF8_NAMES[3].encode() + b";01/02/2003  04:05;7|")
PHONEBOOK = {"Office": ("alice", "office-secret", True), "Home": ("bob", "home-secret", False)}


def utf16_line(name):
    """How every test helper prints a decoded name: its UTF-16 code units in hex."""
    units = name.encode("utf-16-le")
    return "utf8 " + " ".join(f"{units[i + 1]:02X}{units[i]:02X}" for i in range(0, len(units), 2))


def run(*cmd, env=None, check=True):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)
    if check and r.returncode != 0:
        raise SystemExit(f"FAILED ({r.returncode}): {' '.join(cmd)}\n{r.stdout}")
    return r


def reference(source):
    with open(os.path.join(source, "src", "frame", "ryinet.def")) as f:
        exports = {n: int(b) for n, b in re.findall(r"^\s+(\w+)@(\d+)\s+@\d+", f.read(), re.M)}
    del exports["DllEntryPoint"]  # the loader's, never a host's
    with open(os.path.join(source, "include", "ryinet.h")) as f:
        header = f.read()
    prototypes = {}
    for ret, name, args in re.findall(r"(\w+) WINAPI (\w+)\(([^)]*)\);", header):
        prototypes[name] = (ret, [tuple(a.split()) for a in args.split(",") if a.strip() != "void"])
    constants = {n: int(v) for n, v in re.findall(r"#define (RYINET_\w+_BYTES)\s+(\d+)", header)}
    return exports, prototypes, constants


def compare(language, decls, constants, ref):
    """What the declarations get wrong, each as 'EXPORT: fault'."""
    exports, prototypes, wanted_constants = ref
    kinds, found = TYPES[language], []
    for name in sorted(set(exports) | set(decls)):
        say = lambda fault: found.append(f"{name}: {fault}")  # noqa: E731
        if name not in decls or name not in exports:
            say("declared, but not an export of the library" if name in decls else "not declared")
            continue
        d, (ret, args) = decls[name], prototypes[name]
        if d.entry != name:
            say(f"entry point {d.entry!r}")
        if d.lib != "RYINET.dll":
            say(f"library {d.lib!r}")
        if d.convention != "stdcall":
            say(f"calling convention {d.convention}")
        if 4 * len(d.params) != exports[name]:
            say(f"{4 * len(d.params)} argument bytes, the library removes {exports[name]}")
        if d.ret != kinds[ret]:
            say(f"returns {d.ret}, not {kinds[ret]}")
        for i, ((pname, ptype, byref), (htype, hname)) in enumerate(zip(d.params, args), 1):
            if byref:
                say(f"argument {i} ({pname}) passed by reference")
            if ptype != kinds[htype]:
                say(f"argument {i} ({pname}) is {ptype}, not {kinds[htype]}")
            if pname.lower() != hname.lower():
                say(f"argument {i} is {pname}, the header's is {hname}")
        for key, value in d.extra.items():
            if value != {"charset": "Ansi", "exactspelling": "True"}[key]:
                say(f"{key} {value}")
    for name, value in wanted_constants.items():
        if constants.get(name) != value:
            found.append(f"{name}: {constants.get(name)}, the header's is {value}")
    return found


def parse_vb(text):
    """Every Declare and Long constant of the .bas, RYINET.dll's or not."""
    text = re.sub(r"[ \t]_[ \t]*\r?\n", " ", text)  # line continuations
    decls, constants = {}, {}
    for line in text.splitlines():
        line = line.split("'")[0]
        constant = re.match(r"\s*(?:Public\s+|Private\s+)?Const\s+(\w+)\s+As\s+Long\s*=\s*(\d+)\s*$", line, re.I)
        if constant:
            constants[constant[1]] = int(constant[2])
        m = re.match(r'\s*(?:Public\s+|Private\s+)?Declare\s+(?:PtrSafe\s+)?(?:Function|Sub)\s+(\w+)\s+(CDecl\s+)?'
                     r'Lib\s+"([^"]*)"(?:\s+Alias\s+"([^"]*)")?\s*\(([^)]*)\)\s*(?:As\s+(\w+))?', line, re.I)
        if not m:
            continue
        params = []
        for p in filter(None, (p.strip() for p in m[5].split(","))):
            a = re.match(r"(?:Optional\s+)?(ByVal\s+|ByRef\s+)?(\w+)(\(\))?\s+As\s+(\w+)$", p, re.I)
            params.append((a[2], a[4] + (a[3] or ""), not (a[1] or "").lower().startswith("byval")) if a else
                          ("?", p, False))
        decls[m[1]] = Decl(m[4] or m[1], m[3], "cdecl" if m[2] else "stdcall", m[6] or "Sub", params, {})
    return decls, constants


def read_vb(text):
    """The declarations a host makes of the library: kernel32's, for the helpers, apart."""
    decls, constants = parse_vb(text)
    return {n: d for n, d in decls.items() if not re.fullmatch(r"kernel32(\.dll)?", d.lib, re.I)}, constants


def vb_utf8_problems(text):
    """What RyUtf8Name gets wrong, read only: MultiByteToWideChar from kernel32 with six
    ByVal Long arguments (a String would go through the ANSI code page, ByRef would pass
    a variable's address), CP_UTF8 = 65001, and the helper's two calls with it on the
    bytes StrConv gives back, into StrPtr of its result."""
    decls, constants = parse_vb(text)
    found, d = [], decls.get("MultiByteToWideChar")
    if d is None or not re.fullmatch(r"kernel32(\.dll)?", d.lib, re.I) or d.entry != "MultiByteToWideChar":
        found.append("MultiByteToWideChar is not declared from kernel32")
    else:
        if d.convention != "stdcall" or d.ret != "Long" or len(d.params) != 6:
            found.append(f"MultiByteToWideChar is {d.convention}, {len(d.params)} arguments, returns {d.ret}")
        for i, (pname, ptype, byref) in enumerate(d.params, 1):
            if byref:
                found.append(f"MultiByteToWideChar argument {i} ({pname}) passed by reference")
            if ptype != "Long":
                found.append(f"MultiByteToWideChar argument {i} ({pname}) is {ptype}: VB converts it to ANSI")
    if constants.get("CP_UTF8") != 65001:
        found.append(f"CP_UTF8 is {constants.get('CP_UTF8')}, not the UTF-8 code page 65001")
    body = re.search(r"^Public Function RyUtf8Name\(ByVal \w+ As String\) As String$(.*?)^End Function",
                     text, re.M | re.S)
    calls = re.findall(r"MultiByteToWideChar[ (]CP_UTF8, 0, VarPtr\(\w+\(0\)\), \w+, (\w+\(\w+\)|0)", body[1]) if body else []
    if not (body and "StrConv(" in body[1] and "vbFromUnicode" in body[1] and len(calls) == 2 and
            calls[0] == "0" and calls[1].startswith("StrPtr(")):
        found.append(f"does not measure and then convert the name's bytes with CP_UTF8 into a String: {calls}")
    return [f"RyUtf8Name: {p}" for p in found]


def read_pascal(text):
    text = re.sub(r"\{[^}]*\}|\(\*.*?\*\)|//[^\n]*", "", text, flags=re.S)
    text = re.split(r"^\s*implementation\b", text, flags=re.M | re.I)[0]
    decls = {}
    for m in re.finditer(r"\bfunction\s+(\w+)\s*(?:\(([^)]*)\))?\s*:\s*(\w+)\s*;((?:\s*\w+\s*;)*?)\s*"
                         r"external\s+'([^']*)'(?:\s+name\s+'([^']*)')?\s*;", text, re.I):
        params = []
        for group in filter(None, (g.strip() for g in (m[2] or "").split(";"))):
            g = re.match(r"(?:(var|const|out|constref)\s+)?([\w\s,]+):\s*(\w+)$", group, re.I)
            byref = bool(g and g[1] and g[1].lower() != "const")
            params += [(n.strip(), g[3], byref) for n in g[2].split(",")] if g else [("?", group, False)]
        directives = re.findall(r"\w+", m[4].lower())
        convention = next((d for d in directives if d in ("stdcall", "cdecl", "pascal", "safecall", "register")), "register")
        decls[m[1]] = Decl(m[6] or m[1], m[5], convention, m[3], params, {})
    return decls, {n: int(v) for n, v in re.findall(r"^\s*(RYINET_\w+)\s*=\s*(\d+)\s*;", text, re.M)}


def read_python(text):
    decls, constants, lib, convention = {}, {}, None, None
    for node in ast.walk(ast.parse(text)):
        if not (isinstance(node, ast.Assign) and isinstance(node.targets[0], ast.Name)):
            continue
        target, value = node.targets[0].id, node.value
        if target.startswith("RYINET_") and isinstance(value, ast.Constant):
            constants[target] = value.value
        if not isinstance(value, ast.Call):
            continue
        callee = ast.unparse(value.func).split(".")[-1]
        if callee in ("WinDLL", "CDLL", "OleDLL", "PyDLL"):
            convention = "stdcall" if callee in ("WinDLL", "OleDLL") else "cdecl"
            lib = next(n.value for n in ast.walk(value) if isinstance(n, ast.Constant) and str(n.value).endswith(".dll"))
        if callee == "_declare":
            entry, ret, *args = value.args
            params = [(a.elts[0].value, ast.unparse(a.elts[1]).split(".")[-1], "POINTER(" in ast.unparse(a.elts[1]))
                      for a in args]
            decls[target] = Decl(entry.value, None, None, ast.unparse(ret), params, {})
    return {n: d._replace(lib=lib, convention=convention) for n, d in decls.items()}, constants


def python_records(path, listing, names_file):
    """The shipped module's own readers on the sample: imported with a stand-in for the
    Windows-only DLL loader, as nothing they do needs the library."""
    class NoLibrary:
        def __getattr__(self, name):
            return types.SimpleNamespace()

    ctypes.WinDLL = lambda name: NoLibrary()
    sys.dont_write_bytecode = True  # nothing lands beside the shipped file
    module = types.ModuleType("ryinet")
    module.__file__ = path
    with open(path, encoding="utf-8") as f:
        exec(compile(f.read(), path, "exec"), module.__dict__)
    lines = [f"record {e.name.decode('latin-1')}|{int(e.is_directory)}|{e.month}|{e.day}|{e.year}|{e.hour}|"
             f"{e.minute}|{e.size}" for e in module.read_listing(ctypes.create_string_buffer(listing))]
    with open(names_file, "rb") as f:
        names = module.phonebook_names(f.read())
    utf8 = [utf16_line(module.utf8_name(e.name)) for e in module.read_listing(UTF8_LISTING)]
    ansi = "été".encode("cp1252")  # not UTF-8: must come back as the same bytes
    if module.utf8_name(ansi).encode("utf-8", "surrogateescape") != ansi:
        problems.append(f"utf8_name({ansi!r}) does not encode back to the same bytes: {module.utf8_name(ansi)!r}")
    return lines + ["whole 1"] + [f"phonebook {n.decode()}" for n in names] + utf8


def csharp(a, text, platform="x86"):
    """The binding compiled and read back by reflection: its declarations, constants and
    what its readers make of the sample (each as lines)."""
    work = os.path.join(a.build, "bindings", "csharp")
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, "RyInet.cs"), "w") as f:
        f.write(text)
    # Not named RYINET.dll, which Windows would take for the library itself.
    assembly, checker = os.path.join(work, "RyInetBinding.dll"), os.path.join(work, "reflect_binding.exe")
    run("mcs", f"-platform:{platform}", "-target:library", "-out:" + assembly, os.path.join(work, "RyInet.cs"))
    source = os.path.join(HERE, "reflect_binding.cs")
    if not os.path.exists(checker) or os.path.getmtime(checker) < os.path.getmtime(source):
        run("mcs", "-out:" + checker, source)
    out = run("mono", checker, assembly, a.sample, a.names, a.utf8).stdout.splitlines()
    decls, constants, platform_line = {}, {}, ""
    for line in out:
        kind, _, rest = line.partition(" ")
        if kind == "platform":
            platform_line = rest
        elif kind == "const":
            name, value = rest.split()
            constants[name] = int(value)
        elif kind == "import":
            name, entry, lib, conv, charset, exact, ret, *params = rest.split()
            decls[name] = Decl(entry, lib, conv.lower(), ret,
                               [(n, t.rstrip("&"), t.endswith("&")) for n, t in (p.split(":") for p in params)],
                               {"charset": charset, "exactspelling": exact})
    found = compare("csharp", decls, constants, a.ref)
    kinds, machine = platform_line.split()
    if "Required32Bit" not in kinds.split(",") or "Preferred32Bit" in kinds or machine != "I386":
        found.append(f"assembly: built for {platform_line}, not x86 only")
    return found, [line for line in out if line.startswith(("record", "whole", "phonebook", "utf8"))]


def cache_copies(a, stem):
    """How many copies of files named stem Wine's WININET holds in the URL cache of the
    build's prefix."""
    return len(glob.glob(os.path.join(a.build, "wineprefix", "drive_c", "users", "*", "AppData", "Local", "Microsoft",
                                      "Windows", "INetCache", "*", "*", stem + "*")))


def pascal_session(a, binding_dir, name):
    """The Pascal host built on the binding in binding_dir, run once against a fresh
    server and phonebook: its output, the served tree afterwards, and its listing of pub
    before."""
    work = os.path.join(a.build, "bindings", "pascal", name)
    shutil.rmtree(work, ignore_errors=True)
    pbk = os.path.join(work, "appdata", "Microsoft", "Network", "Connections", "Pbk")
    os.makedirs(pbk)
    with open(os.path.join(pbk, "rasphone.pbk"), "w") as f:
        for entry, (user, password, saved) in PHONEBOOK.items():
            f.write(f"[{entry}]\nStandInUser={user}\nStandInPassword={password}\nStandInSavePassword={int(saved)}\n\n")
    run(os.path.join(a.fpc, "ppc386"), "-n", "-Twin32", "-Pi386", "-Fu" + os.path.join(a.fpc, "units", "i386-win32"),
        "-Fu" + binding_dir, "-FE" + work, "-FU" + work, os.path.join(HERE, "pascal_host.pas"))
    for dll in (a.dll, a.standin):
        shutil.copy(dll, work)
    fixture = [sys.executable, os.path.join(a.source, "tests", "servers", "ftp_fixture.py")]
    base = os.path.join(work, "ftp")
    run(*fixture, "start", "pyftpdlib", a.addr, base)
    try:
        root = os.path.join(base, "root")
        pub = os.path.join(root, "pub")
        pub = sorted(f"{n}|1|0" if os.path.isdir(os.path.join(pub, n)) else f"{n}|0|{os.path.getsize(os.path.join(pub, n))}"
                     for n in os.listdir(pub))
        readme = os.path.getsize(os.path.join(root, "readme.txt"))
        windows = lambda p: "Z:" + p.replace("/", "\\")  # noqa: E731
        cached = cache_copies(a, "readme")
        out = run(os.path.join(a.source, "cmake", "wine-run.sh"), "--build", a.build, os.path.join(work, "pascal_host.exe"),
                  a.addr, windows(os.path.join(work, "appdata")), windows(a.sample), windows(a.utf8),
                  env=dict(os.environ, WINEDLLOVERRIDES="rasapi32=n"), check=False).stdout
        tree = set(os.listdir(root))
        out += f"copies left in the URL cache {cache_copies(a, 'readme') - cached}\n"
    finally:
        run(*fixture, "stop", "pyftpdlib", a.addr, base)
    return out, tree, pub, readme


def pascal_run_problems(a, out, tree, pub, readme, c_records):
    """What the host's run shows wrong: a moved stack, a wrong result, what the server or
    the phonebook holds afterwards."""
    found, calls = [], collections.defaultdict(list)
    for name, moved, result in re.findall(r"^call (\w+) (-?\d+) (-?\d+)\r?$", out, re.M):
        calls[name].append((int(moved), int(result)))
    facts = dict(re.findall(r"^(address|directory|read readme.txt|credentials|copies left in the URL cache) (.*?)\r?$",
                            out, re.M))
    lines = [line.rstrip("\r") for line in out.splitlines()]
    handles = ("RyINetOpen", "RyFtpConnect", "RyFtpOpenFile", "RyRasDial")
    user, _, saved = next(iter(PHONEBOOK.values()))  # the host reads and dials the first entry
    for name in sorted(set(a.ref[0]) | set(calls)):
        if not calls[name]:
            found.append(f"{name}: not called")
        for moved, result in calls[name]:
            if moved:
                found.append(f"{name}: the stack moved {moved} bytes across the call")
            if (result == 0) == (name in handles) and not (name == "RyINetConn" and result == 1):
                found.append(f"{name}: result {result}")
    expect = [
        (re.fullmatch(r"(\d{1,3}\.){3}\d{1,3}", facts.get("address", "")), f"address {facts.get('address')}"),
        (facts.get("directory") == "/pub", f"directory {facts.get('directory')}"),
        (sorted("|".join(f[:2] + f[-1:]) for f in (x[6:].rsplit("|", 7) for x in lines if x.startswith("entry ")
                                                  and x != "entry whole 1")) == pub and "entry whole 1" in lines,
         "listing of pub"),
        (facts.get("read readme.txt") == str(readme), f"read {facts.get('read readme.txt')} bytes of readme.txt"),
        (facts.get("copies left in the URL cache") == "0",
         f"{facts.get('copies left in the URL cache')} copies of readme.txt left in the URL cache"),
        ({"made", "renamed.txt"} <= tree and not {"gone", "old.txt", "victim.txt"} & tree, f"served tree {sorted(tree)}"),
        ([x[10:] for x in lines if x.startswith("phonebook ")] == list(PHONEBOOK), "phonebook names"),
        (facts.get("credentials") == f"{user} {str(saved).upper()}", f"credentials {facts.get('credentials')}"),
        ([x for x in lines if x.startswith("record ")] == [("record " if c.startswith("whole") else "") + c
                                                           for c in c_records], "the sample's records"),
        ([x for x in lines if x.startswith("utf8 ")] == [utf16_line(n) for n in UTF8_NAMES], "RyUtf8Name of UTF-8 names"),
    ]
    return found + [f"session: {what}" for ok, what in expect if not ok]


def pascal_wrong_copy(a, shipped):
    """A copy declaring RyFtpDir cdecl and RyINetClose with an 8-byte argument, written to
    a directory of its own; its text."""
    mutant = shipped
    for pattern, replacement in PASCAL_RUN_MUTANT:
        mutant, count = re.subn(pattern, replacement, mutant, count=1)
        if not count:
            problems.append(f"the run's wrong copy lacks {pattern}")
    a.wrong_dir = os.path.join(a.build, "bindings", "pascal", "wrong-binding")
    os.makedirs(a.wrong_dir, exist_ok=True)
    with open(os.path.join(a.wrong_dir, "ryinet.pas"), "w") as f:
        f.write(mutant)
    return mutant


def pascal_wrong_run(a, read_problems, c_records):
    """Read and run, the wrong copy must show exactly its two exports wrong."""
    static = sorted({p.split(":")[0] for p in read_problems})
    ran = pascal_run_problems(a, *pascal_session(a, a.wrong_dir, "wrong"), c_records)
    moved = {m[1]: int(m[2]) for m in (re.match(r"(\w+): the stack moved (-?\d+)", p) for p in ran) if m}
    print(f"wrong copy run: {ran}")
    if static != sorted(PASCAL_RUN_MOVES) or moved != PASCAL_RUN_MOVES or \
            any(not p.startswith(tuple(PASCAL_RUN_MOVES)) for p in ran):
        problems.append(f"the run's wrong copy was not refused as such: read {static}, ran {ran}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("language", choices=sorted(FILES))
    parser.add_argument("--fpc")
    parser.add_argument("--dll")
    parser.add_argument("--standin")
    parser.add_argument("--addr")
    a = parser.parse_args()
    a.ref = reference(a.source)
    work = os.path.join(a.build, "bindings")
    os.makedirs(work, exist_ok=True)
    a.sample, a.names = os.path.join(work, "sample-listing.txt"), os.path.join(work, "sample-names.txt")
    a.utf8 = os.path.join(work, "sample-utf8-listing.txt")
    with open(a.sample, "wb") as f:
        f.write(SAMPLE)
    with open(a.utf8, "wb") as f:
        f.write(UTF8_LISTING)
    with open(a.names, "wb") as f:
        f.write(b"".join(n.encode() + b";" for n in PHONEBOOK) + b"\0Stale;")
    run("cc", "-I" + os.path.join(a.source, "include"), os.path.join(HERE, "c_listing.c"), "-o", os.path.join(work, "c_listing"))
    c_records = run(os.path.join(work, "c_listing"), a.sample).stdout.splitlines()
    path = os.path.join(a.source, "bindings", FILES[a.language])
    with open(path) as f:
        shipped = f.read()

    def declarations(text):
        if a.language == "csharp":
            return csharp(a, text)[0]
        found = compare(a.language, *{"vb": read_vb, "pascal": read_pascal, "python": read_python}[a.language](text), a.ref)
        return found + (vb_utf8_problems(text) if a.language == "vb" else [])

    if a.language == "csharp":
        found, records = csharp(a, shipped)
    else:
        found = declarations(shipped)
        records = python_records(path, SAMPLE, a.names) if a.language == "python" else None
    print(f"{FILES[a.language]}: {len(a.ref[0])} exports, {len(found)} problem(s)")
    problems.extend(found)
    wanted = c_records + [f"phonebook {n}" for n in PHONEBOOK] + [utf16_line(n) for n in UTF8_NAMES]
    if records is not None and records != wanted:
        problems.append(f"readers: {records}, ryinet_listing.h and the phonebook give {wanted}")
    if a.language == "csharp":
        anycpu = csharp(a, shipped, "anycpu")[0]
        if not (len(anycpu) == 1 and anycpu[0].startswith("assembly:")):
            problems.append(f"an AnyCPU build was not refused as such: {anycpu}")

    for export, pattern, replacement, word in MUTANTS[a.language]:
        mutant, count = re.subn(pattern, replacement, shipped, count=1)
        refused = declarations(mutant) if count else []
        named = all(export == "*" or p.lower().startswith(export.lower() + ":") for p in refused)
        print(f"wrong copy, {export}: {refused}")
        if not (count and refused and named and any(word in p for p in refused)):
            problems.append(f"the wrong copy in {export} ({word}) was not refused as such: {refused}")

    if a.language == "pascal":
        out = pascal_session(a, os.path.join(a.source, "bindings"), "shipped")
        print(out[0])
        problems.extend(pascal_run_problems(a, *out, c_records))
        pascal_wrong_run(a, declarations(pascal_wrong_copy(a, shipped)), c_records)
    return finish(a.language)


if __name__ == "__main__":
    sys.exit(main())
