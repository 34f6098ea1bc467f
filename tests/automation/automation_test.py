#!/usr/bin/env python3
"""automation_test.py SOURCE BUILD CLIENT ADDR ROOT HOSTILE_ADDR HOSTILE_BASE: RyInet.Session
in the build's win64 prefix.

Against pyftpdlib at ADDR serving ROOT: the class is absent, /regserver registers it, a
64-bit client (late bound) and a VBScript under the 64-bit cscript connect, list, get and
put a file with a non-ASCII name, read a refusal's text, see Progress events and cancel a
transfer, get and put files in batches (batch/, partly/ with a file the server cannot open),
read the phonebook and dial through the RAS stand-in. Against the scripted
server at HOSTILE_ADDR: a broken transfer keeps the local file, a stalled one ends within
StallSeconds, a default Connect goes passive, and no copy is left in the URL cache. Against
the breaking server (RYTEST_AUTOMATION_BREAKING_HOST, _ROOT): a GetFile and a PutFile that
break off are tried again (Retrying) and go on from where they broke.
/unregserver removes the class; /regserverperuser does what the platform's COM allows.
Prints "N passed, N failed".
"""
import glob
import os
import shutil
import subprocess
import sys
import time

SOURCE, BUILD, CLIENT, ADDR, ROOT, HOSTILE_ADDR, HOSTILE_BASE = sys.argv[1:8]
# On a display of its own: the library's boxes must really show for the server to see them.
WINE_RUN = [os.path.join(SOURCE, "cmake", "wine-run.sh"), "--build", BUILD, "--display", "--win64"]
SERVER = os.path.join(BUILD, "wine-automation", "ryinet-automation.exe")  # beside the RAS stand-in
WORK = os.path.join(BUILD, "automation-work")
REMOTE = "Gr\u00fc\u00dfe-\u20ac-\U0001D11E.txt"  # no spaces: Wine's WININET cuts them from listed names
STORED_BY_SCRIPT = "\u00dcnicode-\u2603-\U0001D11E-vbs.txt"
PHONEBOOK = ("[Office]\r\nPhoneNumber=555-0100\r\nStandInUser=alice\r\nStandInPassword=office-pw\r\n"
             "StandInSavePassword=1\r\n\r\n[Home]\r\nStandInUser=bob\r\nStandInPassword=home-pw\r\n")
BREAKING_ADDR = os.environ["RYTEST_AUTOMATION_BREAKING_HOST"]
BREAKING_ROOT = os.environ["RYTEST_AUTOMATION_BREAKING_ROOT"]
STALL_SECONDS = 5
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
    return r


def script(name, *args):
    """Runs a VBScript of this folder, whose results are the lines of its last argument."""
    out = args[-1]
    if os.path.exists(out):
        os.remove(out)
    started = time.monotonic()
    wine("cscript", "//nologo", windows_path(os.path.join(SOURCE, "tests", "automation", name)),
         *[windows_path(a) if a.startswith("/") else a for a in args], timeout=180)
    elapsed = time.monotonic() - started
    lines = open(out, encoding="utf-16").read().splitlines() if os.path.exists(out) else []
    return lines, elapsed


def prefix_file(*below):
    """A path in the win64 prefix's user profile (the user Wine runs as), of the Wine that runs."""
    prefix = subprocess.run(WINE_RUN + ["--prefix"], stdout=subprocess.PIPE, text=True).stdout.strip()
    users = [u for u in glob.glob(os.path.join(prefix, "drive_c", "users", "*")) if os.path.basename(u) != "Public"]
    return os.path.join(users[0], *below)


def cached_copies():
    """The files WININET keeps in the prefix's URL cache, but for its index."""
    cache = prefix_file("AppData", "Local", "Microsoft", "Windows", "INetCache")
    return {os.path.join(d, f) for d, _, files in os.walk(cache) for f in files if f != "index.dat"}


def session_script():
    """The VBScript's results against the tree it served."""
    out = os.path.join(WORK, "session_test.txt")
    lines, elapsed = script("session_test.vbs", ADDR, REMOTE, WORK, STORED_BY_SCRIPT, out)
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
            "error 80040201 Unable to delete file. / 550 No such file or directory.",
            "phonebook Office,Home", "credentials alice office-pw", "credentials of none [][]", "dialed True",
            "wrong password 80040201"]
    got = [line for line in lines if not line.startswith("cost ")]
    check(got == want + ["done"], "VBScript: connect, list, get, put, a refusal's text, the phonebook and a dial",
          "want:\n" + "\n".join(want) + "\ngot:\n" + "\n".join(got))
    stored = os.path.join(ROOT, STORED_BY_SCRIPT)
    with open(os.path.join(ROOT, REMOTE), "rb") as a:
        check(os.path.exists(stored) and a.read() == open(stored, "rb").read(),
              "VBScript: the stored file has the fetched bytes")


def faults_script():
    """Broken and stalled transfers on the scripted server."""
    kept = os.path.join(WORK, "kept.txt")
    mine = b"the user's own file, not to be lost\r\n"
    with open(kept, "wb") as f:
        f.write(mine)
    log = os.path.join(HOSTILE_BASE, "server.log")
    logged = os.path.getsize(log)
    out = os.path.join(WORK, "faults_test.txt")
    lines, elapsed = script("faults_test.vbs", HOSTILE_ADDR, WORK, out)
    print("\n".join("   " + line for line in lines))
    by = {line.split(" ")[0]: line for line in lines}
    check(by.get("broken", "").startswith("broken 80040201 ") and open(kept, "rb").read() == mine and
          not glob.glob(os.path.join(WORK, "kept.txt*.part")) and not glob.glob(os.path.join(WORK, "kept.txt.*")),
          "a broken transfer onto an existing file keeps it byte for byte, and no .part or partial is left")
    stalled = by.get("stalled", "").split(" ")
    check(len(stalled) > 3 and stalled[2] == "80040204" and "StallSeconds" in by["stalled"] and
          float(stalled[1]) < STALL_SECONDS + 10,
          f"a stalled transfer ends within StallSeconds ({STALL_SECONDS} s) and some seconds, naming the limit")
    check(by.get("after", "").startswith("after 80040202 Not connected"), "the next call says it is not connected")
    check(by.get("again") == "again 5 0 " and "done" in lines, "the script goes on: a new Connect works")
    commands = open(log, "rb").read()[logged:].decode("latin-1")
    check("<- PASV" in commands and "<- PORT" not in commands, "a default Connect is passive (PASV, never PORT)")


def log_after(name, offset):
    path = os.path.join(os.path.dirname(BREAKING_ROOT), name)
    return open(path, encoding="latin-1").read()[offset:].splitlines() if os.path.exists(path) else []


def log_size(name):
    path = os.path.join(os.path.dirname(BREAKING_ROOT), name)
    return len(open(path, encoding="latin-1").read()) if os.path.exists(path) else 0


def broken_logs(sent_at, commands_at):
    """The breaking server's view of the client's retried GetFile and PutFile."""
    sent = log_after("sent.log", sent_at)
    check(sent == ["1000000", "1000000"], "the server sent big.bin's first half, then only the rest",
          "sent.log: " + repr(sent))
    commands = log_after("commands.log", commands_at)
    print("   breaking server: " + " | ".join(c for c in commands if c.split(" ")[0] in ("REST", "RETR", "STOR")))
    def rest_for(transfer, nth):
        """The REST sent since the transfer command before the nth one (0: the first), or None."""
        at = [-1] + [i for i, c in enumerate(commands) if c == transfer]
        if len(at) <= nth + 1:
            return None
        rests = [c for c in commands[at[nth] + 1:at[nth + 1]] if c.startswith("REST ")]
        return int(rests[-1].split(" ")[1]) if rests else None
    check(commands.count("RETR big.bin") == 2 and rest_for("RETR big.bin", 0) is None and
          rest_for("RETR big.bin", 1) == 1000000, "the second RETR asked for the rest (REST 1000000)")
    kept = rest_for("STOR put.bin", 1)
    check(commands.count("STOR put.bin") == 2 and kept is not None and kept >= 512 * 1024,
          f"the second STOR went on from what the server kept (REST {kept}, 512 KiB or more)")


def per_user():
    """What /regserverperuser does is what COM here makes of it."""
    r = wine(SERVER, "/regserverperuser")
    print("\n".join("   " + line for line in r.stdout.splitlines()))
    if r.returncode == 0:
        out = client("create")
        check("0 failed" in out, "/regserverperuser: CreateObject finds the server")
    else:
        check("does not read classes registered for one user" in r.stdout and "/regserver" in r.stdout,
              "/regserverperuser: where COM does not read the user's classes, it says so and fails")
        client("absent")
    server("/unregserverperuser")
    client("absent")


def batch_trees():
    """batch/: four files of 0 to 1.5 MB, and a directory and names GetFiles passes over;
    partly/: two files and a link to nothing, which the server lists but cannot open.
    The local folders the client fills, and the remote one it puts into, start empty."""
    batch, partly = os.path.join(ROOT, "batch"), os.path.join(ROOT, "partly")
    for d in (batch, partly, os.path.join(WORK, "batch-got"), os.path.join(WORK, "partly-got")):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    os.makedirs(os.path.join(batch, "up"))
    os.makedirs(os.path.join(batch, "sub.bin"))
    for name, size in (("a.bin", 0), ("b.bin", 1), ("c.bin", 100000), ("d.bin", 1500000), ("CON.bin", 5),
                       ("x:y.bin", 5), ("one.bin", 7000), ("two.bin", 70000)):
        with open(os.path.join(partly if name in ("one.bin", "two.bin") else batch, name), "wb") as f:
            f.write(os.urandom(size))
    os.symlink("missing", os.path.join(partly, "gone.bin"))


def main():
    os.makedirs(WORK, exist_ok=True)
    batch_trees()
    with open(os.path.join(ROOT, REMOTE), "wb") as f:
        f.write(b"non-ASCII name, bytes \xe2\x82\xac and \x00\r\n")
    with open(os.path.join(ROOT, "three.bin"), "wb") as f:
        f.write(os.urandom(3 << 20))
    with open(os.path.join(ROOT, "one.txt"), "wb") as f:
        f.write(b"1")
    many = os.path.join(ROOT, "many")  # a listing longer than 64 KiB
    os.makedirs(many, exist_ok=True)
    for i in range(2000):
        open(os.path.join(many, f"file-{i:04d}.txt"), "wb").close()
    app = r"HKCU\Software\Wine\AppDefaults\ryinet-automation.exe"
    # No window manager under Xvfb: Wine would wait 2 s as each box goes.
    wine("reg", "add", app + r"\X11 Driver", "/v", "Managed", "/d", "N", "/f")
    # The RAS stand-in beside the server, where there is one; Wine's own elsewhere.
    wine("reg", "add", app + r"\DllOverrides", "/v", "rasapi32", "/d", "native,builtin", "/f")
    phonebook = prefix_file("AppData", "Roaming", "Microsoft", "Network", "Connections", "Pbk", "rasphone.pbk")
    os.makedirs(os.path.dirname(phonebook), exist_ok=True)
    with open(phonebook, "w", newline="") as f:
        f.write(PHONEBOOK)
    server("/unregserver")
    client("absent")
    server("/regserver")
    cached = cached_copies()
    sent_at, commands_at = log_size("sent.log"), log_size("commands.log")
    client("session", ADDR, windows_path(ROOT), windows_path(WORK), BREAKING_ADDR, windows_path(BREAKING_ROOT))
    broken_logs(sent_at, commands_at)
    session_script()
    faults_script()
    new = cached_copies() - cached
    check(not new, "no copy of a fetched file is left in the prefix's URL cache", "\n".join(sorted(new)))
    server("/unregserver")
    client("absent")
    per_user()
    os.remove(phonebook)
    # The virtual display goes with this test: the server, the last of its programs, first.
    for _ in range(100):
        if subprocess.run(["pgrep", "-f", "ryinet-automation.exe"], stdout=subprocess.DEVNULL).returncode != 0:
            break
        time.sleep(0.1)
    print(f"{results['passed']} passed, {results['failed']} failed")
    return 1 if results["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
