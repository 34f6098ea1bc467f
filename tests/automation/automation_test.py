#!/usr/bin/env python3
"""automation_test.py SOURCE BUILD CLIENT ADDR ROOT: RyInet.Session in the build's win64 prefix.

Against pyftpdlib at ADDR serving ROOT: the class is absent, /regserver registers it, a
64-bit client (late bound) and a VBScript under the 64-bit cscript connect, list, get and
put a file with a non-ASCII name and read a refusal's text; /unregserver removes it, and
the per-user choice registers under HKCU and goes again. Prints "N passed, N failed".
"""
import os
import subprocess
import sys
import time

SOURCE, BUILD, CLIENT, ADDR, ROOT = sys.argv[1:6]
WINE_RUN = [os.path.join(SOURCE, "cmake", "wine-run.sh"), "--build", BUILD, "--win64"]
SERVER = os.path.join(BUILD, "bin", "ryinet-automation.exe")
WORK = os.path.join(BUILD, "automation-work")
REMOTE = "Gr\u00fc\u00dfe-\u20ac-\U0001D11E.txt"  # no spaces: Wine's WININET cuts them from listed names
STORED_BY_SCRIPT = "\u00dcnicode-\u2603-\U0001D11E-vbs.txt"
CLSID_KEY = r"HKCU\Software\Classes\CLSID\{9F4DA8C0-691D-4EDD-8B30-5904A273AB1B}\LocalServer32"
results = {"passed": 0, "failed": 0}


def check(ok, what, detail=""):
    print(("ok - " if ok else "not ok - ") + what + ("" if ok or not detail else "\n" + detail))
    results["passed" if ok else "failed"] += 1


def wine(*args, timeout=300):
    try:
        return subprocess.run(WINE_RUN + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, errors="replace", timeout=timeout)
    except subprocess.TimeoutExpired as e:
        # Reported as a failed step; the steps after it still run and clean up.
        return subprocess.CompletedProcess(e.cmd, -1, f"timed out after {timeout} s")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def client(*args):
    r = wine(CLIENT, *args)
    print("\n".join("   " + line for line in r.stdout.splitlines()))
    check(r.returncode == 0 and "0 failed" in r.stdout, "64-bit client: " + " ".join(args[:1]))
    return r.stdout


def server(option):
    started = time.monotonic()
    r = wine(SERVER, option)
    check(r.returncode == 0, f"ryinet-automation.exe {option} ({time.monotonic() - started:.1f} s)", r.stdout)


def script():
    """The VBScript's results against the tree it served."""
    out = os.path.join(WORK, "session_test.txt")
    if os.path.exists(out):
        os.remove(out)
    started = time.monotonic()
    wine("cscript", "//nologo", windows_path(os.path.join(SOURCE, "tests", "automation", "session_test.vbs")),
         ADDR, REMOTE, windows_path(WORK), STORED_BY_SCRIPT, windows_path(out), timeout=120)
    elapsed = time.monotonic() - started
    lines = open(out, encoding="utf-16").read().splitlines() if os.path.exists(out) else []
    cost = [line for line in lines if line.startswith("cost ")]
    print(f"   VBScript run {elapsed:.1f} s; {cost[0] if cost else 'no cost line'} a call")
    size = os.path.getsize(os.path.join(ROOT, REMOTE))
    entries = []
    for name in sorted(os.listdir(ROOT)):
        if name == STORED_BY_SCRIPT:
            continue  # stored by the script after its listing
        path = os.path.join(ROOT, name)
        directory = os.path.isdir(path)
        entries.append(f"entry {name}|{directory}|{0 if directory else os.path.getsize(path)}")
    want = ["utf8 True"] + entries + [f"get {size} {size}", f"put {size}",
            "error 80040201 Unable to delete file. / 550 No such file or directory."]
    got = [line for line in lines if not line.startswith("cost ")]
    check(got == want + ["done"], "VBScript: connect, list, get, put, a refusal's text",
          "want:\n" + "\n".join(want) + "\ngot:\n" + "\n".join(got))
    stored = os.path.join(ROOT, STORED_BY_SCRIPT)
    with open(os.path.join(ROOT, REMOTE), "rb") as a:
        check(os.path.exists(stored) and a.read() == open(stored, "rb").read(),
              "VBScript: the stored file has the fetched bytes")


def main():
    os.makedirs(WORK, exist_ok=True)
    with open(os.path.join(ROOT, REMOTE), "wb") as f:
        f.write(b"non-ASCII name, bytes \xe2\x82\xac and \x00\r\n")
    many = os.path.join(ROOT, "many")  # a listing longer than 64 KiB
    os.makedirs(many, exist_ok=True)
    for i in range(2000):
        open(os.path.join(many, f"file-{i:04d}.txt"), "wb").close()
    server("/unregserver")
    client("absent")
    server("/regserver")
    client("session", ADDR, windows_path(ROOT), windows_path(WORK))
    script()
    server("/unregserver")
    client("absent")
    server("/regserverperuser")
    r = wine("reg", "query", CLSID_KEY)
    check(r.returncode == 0 and "ryinet-automation.exe" in r.stdout, "/regserverperuser: the class under HKCU", r.stdout)
    server("/unregserverperuser")
    r = wine("reg", "query", CLSID_KEY)
    check(r.returncode != 0, "/unregserverperuser: the class gone from HKCU", r.stdout)
    print(f"{results['passed']} passed, {results['failed']} failed")
    return 1 if results["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
