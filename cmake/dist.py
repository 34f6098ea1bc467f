#!/usr/bin/env python3
"""dist.py BUILD OUTDIR [--sign-cert CERT --sign-key KEY]: the release of a built tree.

Installs BUILD into BUILD/stage/ryinet-VERSION-win32, signs its DLLs and programs when a
certificate and key are given (Authenticode, SHA-256, with osslsigncode, which restamps
the PE checksum the library checks at load), and writes OUTDIR/ryinet-VERSION-win32.zip
and OUTDIR/SHA256SUMS. The zip's entries are sorted and carry one fixed time and mode, so
two clean builds of one commit give the same zip (unsigned: a signature holds its time).
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import zipfile

FIXED_TIME = (1980, 1, 1, 0, 0, 0)  # the earliest time a zip entry can carry


def files_under(top):
    for dirpath, _, filenames in os.walk(top):
        for name in filenames:
            yield os.path.relpath(os.path.join(dirpath, name), top).replace(os.sep, "/")


def sign(path, cert, key):
    signed = path + ".signed"
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
                    "-n", "RYINET", "-in", path, "-out", signed], check=True,
                   stdout=subprocess.DEVNULL)
    os.replace(signed, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("outdir")
    parser.add_argument("--sign-cert")
    parser.add_argument("--sign-key")
    args = parser.parse_args()
    if bool(args.sign_cert) != bool(args.sign_key):
        parser.error("signing needs both --sign-cert and --sign-key")

    with open(os.path.join(args.build, "version")) as f:
        name = f"ryinet-{f.read().strip()}-win32"
    stage = os.path.join(args.build, "stage", name)
    shutil.rmtree(stage, ignore_errors=True)
    subprocess.run(["cmake", "--install", args.build, "--prefix", stage], check=True,
                   stdout=subprocess.DEVNULL)
    if args.sign_cert:
        bin_dir = os.path.join(stage, "bin")
        for binary in sorted(os.listdir(bin_dir)):
            if binary.lower().endswith((".dll", ".exe")):
                sign(os.path.join(bin_dir, binary), args.sign_cert, args.sign_key)

    os.makedirs(args.outdir, exist_ok=True)
    zip_path = os.path.join(args.outdir, name + ".zip")
    with zipfile.ZipFile(zip_path, "w") as z:
        for rel in sorted(files_under(stage)):
            entry = zipfile.ZipInfo(f"{name}/{rel}", FIXED_TIME)
            entry.external_attr = 0o644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(stage, rel), "rb") as f:
                z.writestr(entry, f.read(), compresslevel=9)
    with open(zip_path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    with open(os.path.join(args.outdir, "SHA256SUMS"), "w") as f:
        f.write(f"{digest}  {name}.zip\n")
    print(f"{zip_path}\n{digest}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
