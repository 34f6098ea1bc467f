#!/usr/bin/python3
"""packages_check.py TOP: every program the suite, the demo and the bench start comes from
a package that the install step's list (cmake/install-deps.sh --list) brings to every
machine, native or emulated: a package of the list, one the list depends on without an
alternative (a dependency that another package may satisfy brings nothing for sure), or
one that every Debian system has (Priority required or important). What the emulated
route adds (qemu-user and the fault report's compilers) counts for nothing here, so a
program only that route installs fails on every machine. Reads the installed packages'
records (dpkg), so it runs in a second on any machine that has them."""
import os
import re
import shutil
import subprocess
import sys

# The programs started, by name or by the path they are started at, and who starts them.
PROGRAMS = [
    ("cmake", "the build"), ("ctest", "make test"), ("i686-w64-mingw32-g++-posix", "the build"),
    ("x86_64-w64-mingw32-gcc", "automation_test's 64-bit client"), ("i686-w64-mingw32-widl", "the automation server's IDL"),
    ("wine", "every Windows program"), ("/usr/lib/wine/wine64", "wine-run.sh --win64"),
    ("wineserver", "wine-run.sh"), ("Xvfb", "wine-run.sh --display"), ("xvfb-run", "the display tests"),
    ("xauth", "xvfb-run"), ("/usr/bin/python3", "the FTP fixtures"), ("vsftpd", "the vsftpd fixture"),
    ("python3 -m pyftpdlib", "the pyftpdlib fixture"), ("python3 -m twisted", "the Twisted fixture"), ("ip", "the NAT test's namespaces"), ("tc", "links held to a rate"),
    ("iptables", "the NAT test"), ("unshare", "install_out_of_step, wine-chroot.sh"),
    ("debootstrap", "make test-wine10, make test-fresh"), ("apt-get", "pure-ftpd, fetched unpacked"),
    ("dpkg-deb", "pure-ftpd, unpacked"), ("flock", "wine-run.sh"), ("timeout", "the launcher tests"),
    ("pgrep", "automation_test"), ("mcs", "the C# binding"), ("mono", "the C# binding"),
    ("ppcx64", "the Pascal binding's cross compiler"), ("fpcmake", "the Pascal binding's cross compiler"),
    ("clang", "the MSVC-mode check, the fuzz targets"), ("lld-link", "the MSVC-mode check"),
    ("osslsigncode", "the signed release"), ("openssl", "the signed release"), ("gnuplot", "make bench"),
    ("import", "make screenshots"), ("curl", "make bench"),
]


def installed_records():
    """Each installed package's name, priority and hard dependencies."""
    out = subprocess.run(["dpkg-query", "-W", "-f", "${db:Status-Abbrev}\t${Package}\t${Priority}\t"
                          "${Pre-Depends}, ${Depends}\n"], capture_output=True, text=True, check=True).stdout
    records = {}
    for line in out.splitlines():
        status, name, priority, depends = line.split("\t")
        if not status.startswith("ii"):
            continue
        needs = set()
        for group in depends.split(","):
            choices = [c for c in group.split("|") if c.strip()]
            if len(choices) == 1:  # "a | b": either may be the one installed
                needs.add(re.sub(r"[ :(].*", "", choices[0].strip()))
        rec = records.setdefault(name, (set(), set()))
        rec[0].add(priority)
        rec[1].update(needs)
    return records


def brought(names, records):
    """The packages names bring: themselves and their hard dependencies, all the way down."""
    seen, todo = set(), [n.split(":")[0] for n in names]
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        todo.extend(records.get(name, (set(), set()))[1])
    return seen


def located(program):
    """Where the program is, or for "python3 -m MODULE", the module's file, as Debian's
    /usr/bin/python3 finds it (the fixtures run it)."""
    if program.startswith("python3 -m "):
        module = program.split()[-1]
        found = subprocess.run(["/usr/bin/python3", "-c", f"import {module}; print({module}.__file__)"],
                               capture_output=True, text=True)
        return found.stdout.strip() if found.returncode == 0 else None
    if os.path.isabs(program):
        return program
    # Debian's own programs only: a stand-in in /usr/local (this machine's convert) is no package's.
    return shutil.which(program, path=os.pathsep.join(["/usr/sbin", "/usr/bin", "/sbin", "/bin"]))


def owner(program):
    path = located(program)
    if not path or not os.path.exists(path):
        return None, program
    real = os.path.realpath(path)
    # A merged /usr: a package's /bin/ip is found as /usr/bin/ip.
    for candidate in (real, path, re.sub(r"^/usr/", "/", real), re.sub(r"^/usr/", "/", path)):
        found = subprocess.run(["dpkg-query", "-S", candidate], capture_output=True, text=True)
        if found.returncode == 0:
            return found.stdout.split(":")[0].split(",")[0].strip(), real
    return None, real


def main():
    top = sys.argv[1]
    listed = subprocess.run(["sh", os.path.join(top, "cmake", "install-deps.sh"), "--list"],
                            capture_output=True, text=True, check=True).stdout.split()
    records = installed_records()
    everywhere = {n for n, (priorities, _) in records.items() if priorities & {"required", "important"}}
    bring = brought(listed, records) | everywhere
    failures = 0
    for program, who in PROGRAMS:
        package, path = owner(program)
        if package is None:
            print(f"{program} ({who}): not on this machine, or no package owns {path}")
            failures += 1
        elif package not in bring:
            print(f"{program} ({who}): {path} comes from {package}, which the install step's list does not bring")
            failures += 1
    print(f"{len(PROGRAMS) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
