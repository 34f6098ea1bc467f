#!/usr/bin/env python3
"""package_check.py --source DIR --build DIR CHECK [ADDR]: the package as its users meet it.

release: the install tree, and the release zip signed with a throwaway certificate, unpacked
into BUILD/pkg/release for the others; consumer ADDR: the zip's examples built with
find_package, c_host run against ADDR; msvc: an MSVC-mode host linked with /SAFESEH; reproducible:
`make dist` in two copies of the tree; docs: docs/API.md against the code's own tables.
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
problems = []


def expect(condition, problem):
    if not condition:
        problems.append(problem)


def finish(check):
    """Prints the problems found; the exit status."""
    for p in problems:
        print("FAILED:", p)
    print(f"{check}: {len(problems)} problem(s)")
    return 1 if problems else 0


def run(*cmd, env=None):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)
    if r.returncode != 0:
        raise SystemExit(f"FAILED ({r.returncode}): {' '.join(cmd)}\n{r.stdout}")
    return r.stdout


def read(*path, mode="r"):
    with open(os.path.join(*path), mode) as f:
        return f.read()


def fresh(*path):
    path = os.path.join(*path)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def release_root(a):
    return os.path.join(a.build, "pkg", "release", f"ryinet-{read(a.build, 'version').strip()}-win32")


def release(a):
    installed = fresh(a.build, "pkg", "installed")
    run("cmake", "--install", a.build, "--prefix", installed)
    tree = {os.path.relpath(os.path.join(d, n), installed) for d, _, names in os.walk(installed) for n in names}
    wanted = {"bin/RYINET.dll", "bin/ryftp.exe", "bin/ryexplorer.exe", "bin/ryinet-automation.exe",
              "bin/ryinet_automation.tlb", "lib/libRYINET.dll.a", "lib/RYINET.lib",
              "lib/RYINET.def", "lib/cmake/RYINET/RYINETConfig.cmake", "lib/cmake/RYINET/RYINETConfigVersion.cmake",
              "lib/cmake/RYINET/ryinet_kit.c",
              "docs/API.md", "README.md", "LICENSE"}
    wanted |= {"include/" + h for h in os.listdir(os.path.join(a.source, "include")) if h.endswith(".h")}
    wanted |= {"bindings/" + b for b in ("RyInet.bas", "ryinet.pas", "RyInet.cs", "ryinet.py")}
    for sample in ("c_host", "explorer", "automation"):
        wanted |= {f"examples/{sample}/{f}" for f in os.listdir(os.path.join(a.source, "examples", sample))}
    expect(wanted <= tree, f"the install tree lacks {sorted(wanted - tree)}")

    key, cert, out = (os.path.join(a.build, "pkg", n) for n in ("key.pem", "cert.pem", "out"))
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
        "-subj", "/CN=RYINET throwaway signer", "-days", "2")
    run(sys.executable, os.path.join(a.source, "cmake", "dist.py"), a.build, fresh(out), "--sign-cert", cert, "--sign-key", key)
    root = release_root(a)
    name = os.path.basename(root)
    digest = hashlib.sha256(read(out, name + ".zip", mode="rb")).hexdigest()
    expect(read(out, "SHA256SUMS") == f"{digest}  {name}.zip\n", "SHA256SUMS does not match the zip")
    with zipfile.ZipFile(os.path.join(out, name + ".zip")) as z:
        expect(sorted(z.namelist()) == sorted(f"{name}/{rel}" for rel in tree), f"the zip holds {z.namelist()}")
        z.extractall(fresh(os.path.dirname(root)))
    for rel in sorted(tree):
        if rel.lower().endswith((".dll", ".exe")):
            run("osslsigncode", "verify", "-CAfile", cert, "-in", os.path.join(root, rel))
            run(sys.executable, os.path.join(a.source, "cmake", "pe_checksum.py"), "verify", os.path.join(root, rel))
        else:
            expect(read(root, rel, mode="rb") == read(installed, rel, mode="rb"), f"{rel} changed in the zip")


# The sample tree tests/servers/ftp_fixture.py serves: name field -> size field.
SAMPLE_TREE = {"binary.bin": "1156", "empty.dat": "0", " [ emptydir ] ": "<DIR>", " [ full ] ": "<DIR>",
               "old.txt": "9", " [ pub ] ": "<DIR>", "readme.txt": "512", "victim.txt": "9"}


def build_sample(a, name):
    root, build = release_root(a), fresh(a.build, "pkg", name)
    run("cmake", "-S", os.path.join(root, "examples", name), "-B", build, "-DCMAKE_PREFIX_PATH=" + root,
        "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(a.source, "cmake", "toolchain-i686-mingw.cmake"))
    run("cmake", "--build", build)
    expect(read(build, "RYINET.dll", mode="rb") == read(root, "bin", "RYINET.dll", mode="rb"),
           f"{name} was given another RYINET.dll than the package's")
    return build


def consumer(a):
    # The Explorer's source builds from the package alone, with the host kit it ships.
    expect(os.path.isfile(os.path.join(build_sample(a, "explorer"), "ryexplorer.exe")), "no ryexplorer.exe built")
    build = build_sample(a, "c_host")
    out = run(os.path.join(a.source, "cmake", "wine-run.sh"), "--build", a.build,
              os.path.join(build, "c_host.exe"), a.addr, "ryuser", "rypass")
    expect(dict(re.findall(r"^(.*);\d\d/\d\d/\d{4}  \d\d:\d\d;(.*)$", out, re.M)) == SAMPLE_TREE, f"c_host listed:\n{out}")


def msvc(a):
    root, work = release_root(a), fresh(a.build, "pkg", "msvc")
    with open(os.path.join(work, "kernel32.def"), "w") as f:
        f.write("LIBRARY KERNEL32.dll\nEXPORTS\nExitProcess@4\n")
    run("llvm-dlltool", "-m", "i386", "-k", "-d", os.path.join(work, "kernel32.def"), "-l", os.path.join(work, "kernel32.lib"))
    run("clang", "--target=i686-pc-windows-msvc", "-c", "-O2", "-Wno-pragma-pack", "-I/usr/include/wine/wine/windows",
        "-I/usr/include/wine/wine/msvcrt", "-I" + os.path.join(root, "include"), os.path.join(HERE, "msvc_host.c"),
        "-o", os.path.join(work, "host.obj"))
    link = ["lld-link", "/safeseh", "/subsystem:console", "/entry:HostMain", "/nodefaultlib",
            os.path.join(work, "host.obj"), os.path.join(work, "kernel32.lib")]
    run(*link, "/out:" + os.path.join(work, "host.exe"), os.path.join(root, "lib", "RYINET.lib"))
    shutil.copy(os.path.join(root, "bin", "RYINET.dll"), work)
    run(os.path.join(a.source, "cmake", "wine-run.sh"), "--build", a.build, os.path.join(work, "host.exe"))
    # The control: the same link refuses dlltool's archive, so /SAFESEH is really checked.
    r = subprocess.run(link + ["/out:" + os.path.join(work, "refused.exe"), os.path.join(root, "lib", "libRYINET.dll.a")],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    expect(r.returncode != 0 and "not compatible with SEH" in r.stdout, f"/safeseh took dlltool's objects:\n{r.stdout}")


def reproducible(a):
    listed = run("git", "-C", a.source, "ls-files", "-z", "--cached", "--others", "--exclude-standard")
    # A make of its own, free of the make that runs the tests (its jobserver and variables,
    # such as another BUILD, which a command line also puts into the environment).
    env = {k: v for k, v in os.environ.items() if k not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "MAKEOVERRIDES")}
    trees = [fresh(a.build, "pkg", "repro", t) for t in ("one", "the-second-tree")]
    for top in trees:
        for rel in filter(lambda r: os.path.isfile(os.path.join(a.source, r)), listed.split("\0")):
            os.makedirs(os.path.dirname(os.path.join(top, rel)), exist_ok=True)
            shutil.copy2(os.path.join(a.source, rel), os.path.join(top, rel))
        run("make", "-C", top, "dist", "JOBS=2", "BUILD=build", "DIST=dist", env=env)
    zip_name = os.path.basename(release_root(a)) + ".zip"
    for rel in ("build/release/bin/RYINET.dll", "build/release/bin/libRYINET.dll.a",
                "build/release/bin/RYINET.lib", "dist/" + zip_name, "dist/SHA256SUMS"):
        expect(read(trees[0], rel, mode="rb") == read(trees[1], rel, mode="rb"), f"{rel} differs between two builds")


def docs(a):
    api = read(a.source, "docs", "API.md")
    module = read(a.source, "src", "frame", "ryinet.def")
    exports = {(n, int(o), int(b)) for n, b, o in re.findall(r"^\s+(\w+)@(\d+)\s+@(\d+)", module, re.M)}
    documented = {(n, int(o), int(b)) for n, o, b in
                  re.findall(r"^### `(\w+)`: ordinal (\d+), (\d+) argument bytes$", api, re.M)}
    expect(len(exports) == 17 and documented == exports,
           f"API.md exports: lacks {sorted(exports - documented)}, not the library's {sorted(documented - exports)}")
    prototypes = lambda text: {" ".join(p.split()) for p in re.findall(r"\w+ WINAPI \w+\([^)]*\);", text)}  # noqa: E731
    header_text = read(a.source, "include", "ryinet.h")
    header = prototypes(header_text)
    expect(len(header) == 17 and header <= prototypes(api), f"API.md lacks {sorted(header - prototypes(api))}")
    # Buffer sizes: the header's named sizes, the table of the host's duties, each export's own section.
    named = {(e, int(n), m) for m, n, e in
             re.findall(r"^#define (RYINET_\w+_BYTES)\s+(\d+)\s+/\* (\w+):", header_text, re.M)}
    table = {(e, int(n), m) for e, n, m in
             re.findall(r"^ *\| `(\w+)` \| [^|\n]+ \| (\d+) bytes[^|\n]*\| `(RYINET_\w+)` \|$", api, re.M)}
    expect(len(named) == 5 and table == named,
           f"API.md sizes: lacks {sorted(named - table)}, not the header's {sorted(table - named)}")
    sections = dict(re.findall(r"^### `(\w+)`[^\n]*\n(.*?)(?=^##)", api, re.M | re.S))
    for export, size, _ in named:
        expect(re.search(rf"\*\*Buffers?:\*\*[^\n]*\b{size} bytes", sections.get(export, "")),
               f"API.md's {export} does not give its {size} bytes")
    styles = {"MB_ICONINFORMATION": "information", "MB_OK": "plain", "MB_ICONERROR": "error"}
    boxes = sorted((t, c, styles[s]) for t, c, s in
                   re.findall(r'\{"([^"]*)", "([^"]*)", (MB_\w+)\}', read(a.source, "src", "frame", "boxes.cpp")))
    table = sorted(re.findall(r'^\| [^|\n]* \| "([^"]*)" \| "([^"]*)" \| (\w+) \|', api, re.M))
    expect(len(boxes) == 15 and table == boxes, f"API.md box table: lacks {sorted(set(boxes) - set(table))}, "
                                                f"not the library's {sorted(set(table) - set(boxes))}")
    quoted = set(re.findall(r'"([^"\n]*)" / "([^"\n]*)"', api)) - {(t, c) for t, c, _ in boxes}
    expect(not quoted, f"API.md quotes boxes the library does not have: {sorted(quoted)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("check", choices=["release", "consumer", "msvc", "reproducible", "docs"])
    parser.add_argument("addr", nargs="?")
    a = parser.parse_args()
    globals()[a.check](a)
    return finish(a.check)


if __name__ == "__main__":
    sys.exit(main())
