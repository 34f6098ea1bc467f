#!/usr/bin/env python3
"""ftp_fixture.py start|stop KIND ADDR DIR

Starts a real FTP server on ADDR:21 (loopback only) serving a fresh sample tree under
DIR/root, detached, and records its pid in DIR/pid; stop ends exactly that pid and the
processes it started (its process group).
KIND is pyftpdlib, vsftpd, pureftpd, twisted, scripted (our own server for listings no
real server makes), dying, hangup, silent or hostile (the scripted server's fault modes, see
scripted_ftp.py), breaking (pyftpdlib whose first transfer of each file breaks off,
see breaking_server.py, with big.bin of 2,000,000 bytes and many/ of two), bench (pyftpdlib serving a flat directory of 30 files) or demo
(pyftpdlib serving the sample tree with a name holding ';' and an 8 MiB file, for make
demo), explorer (pyftpdlib serving the sample tree and names in several scripts, for the
Explorer's test and pictures). pure-ftpd
conflicts with vsftpd as a Debian package, so it is never installed: its package is
fetched once into DIR/../pure-ftpd and run from there.
"""
import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import time
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import crypt  # pure-ftpd's user database takes a crypt(3) hash

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
# Under make test-wine10 (RYINET_WINE_ROOT names the Debian 13 root), pyftpdlib and vsftpd
# are the root's own, run inside it: Wine 10 meets the servers of its own release.
WINE_ROOT = os.environ.get("RYINET_WINE_ROOT", "")
USER, PASSWORD = "ryuser", "rypass"
OLD = time.mktime((1998, 3, 7, 14, 5, 0, 0, 0, -1))


def make_tree(root, owner=None):
    """The sample tree every real-server test starts from."""
    if os.path.exists(root):
        shutil.rmtree(root)
    os.makedirs(root)
    files = {
        "readme.txt": b"x" * 512,
        "empty.dat": b"",
        "binary.bin": bytes(range(256)) + b"\r\n\0\r\n\n\r\0\0" * 100,
        "pub/notes.txt": b"notes\r\n",
        "pub/deep/leaf.txt": b"leaf",
        "full/keep.txt": b"keep",
        "victim.txt": b"delete me",
        "old.txt": b"rename me",
    }
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(root, "emptydir"))
    os.utime(os.path.join(root, "readme.txt"), (OLD, OLD))
    if owner is not None:
        for dirpath, dirnames, filenames in os.walk(root):
            for n in dirnames + filenames:
                os.chown(os.path.join(dirpath, n), owner, owner)
            os.chown(dirpath, owner, owner)


def make_demo_tree(root):
    make_tree(root)
    with open(os.path.join(root, "notes;v2.txt"), "wb") as f:
        f.write(b"a name with a semicolon\r\n")
    with open(os.path.join(root, "big.bin"), "wb") as f:
        f.write(bytes(range(256)) * (8 * 1024 * 1024 // 256))


def make_explorer_tree(root):
    """The sample tree, and names in several scripts (sent as UTF-8) for the Explorer to show
    as text: one of them a folder, which holds a name with control characters (BEL, and
    C1's CSI) such as a hostile server may send."""
    make_tree(root)
    files = {
        "café.txt": "café\n",
        "Привет.txt": "Привет\n",
        "日本語.txt": "日本語\n",
        "Ölfeld/bell\x07\x9b.txt": "ring\n",
    }
    for name, text in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(text.encode("utf-8"))


def make_breaking_tree(root):
    """The sample tree, and files large enough to break in the middle."""
    make_tree(root)
    pattern = bytes((i * 7 + i // 251) % 256 for i in range(65536))
    for name, size in (("big.bin", 2000000), ("many/a.bin", 300000), ("many/b.bin", 300001)):
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write((pattern * (size // len(pattern) + 1))[:size])


def make_flat_tree(root, count=30):
    if os.path.exists(root):
        shutil.rmtree(root)
    os.makedirs(root)
    for i in range(count):
        with open(os.path.join(root, f"entry{i:02d}.txt"), "wb") as f:
            f.write(b"b" * (i * 37))


def vsftpd_config(addr, base, root):
    conf = os.path.join(base, "vsftpd.conf")
    empty = os.path.join(base, "empty")
    os.makedirs(empty, exist_ok=True)
    with open(conf, "w") as f:
        f.write(f"""listen=YES
listen_ipv6=NO
listen_address={addr}
listen_port=21
background=NO
anonymous_enable=YES
no_anon_password=YES
anon_root={os.path.dirname(root)}
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
local_enable=NO
connect_from_port_20=NO
port_enable=YES
pasv_enable=YES
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
secure_chroot_dir={empty}
xferlog_enable=NO
use_localtime=NO
""")
    return conf


def pure_ftpd(base):
    """The unpacked pure-ftpd package (fetched on first use), as its bin and sbin paths."""
    unpacked = os.path.join(os.path.dirname(base), "pure-ftpd")
    daemon = os.path.join(unpacked, "usr", "sbin", "pure-ftpd")
    if not os.path.exists(daemon):
        fetch = os.path.join(unpacked + ".fetch")
        shutil.rmtree(fetch, ignore_errors=True)
        os.makedirs(fetch)
        download = ["apt-get", "download", "-q", "pure-ftpd"]
        if subprocess.call(download, cwd=fetch) != 0:
            # A fresh machine may have no package lists yet.
            subprocess.check_call(["apt-get", "update", "-q"])
            subprocess.check_call(download, cwd=fetch)
        (deb,) = glob.glob(os.path.join(fetch, "pure-ftpd_*.deb"))
        subprocess.check_call(["dpkg", "-x", deb, unpacked])
        shutil.rmtree(fetch)
    return os.path.join(unpacked, "usr", "bin"), os.path.dirname(daemon)


def pure_ftpd_command(addr, base, root, uid, gid):
    bindir, sbindir = pure_ftpd(base)
    # One virtual user; a quick hash, as the tests log in many times.
    passwd, pdb = os.path.join(base, "pureftpd.passwd"), os.path.join(base, "pureftpd.pdb")
    with open(passwd, "w") as f:
        f.write(f"{USER}:{crypt.crypt(PASSWORD, '$1$ryinet$')}:{uid}:{gid}::{root}/./::::::::::::\n")
    subprocess.check_call([os.path.join(bindir, "pure-pw"), "mkdb", pdb, "-f", passwd])
    return [os.path.join(sbindir, "pure-ftpd"), "-S", f"{addr},21", "-l", f"puredb:{pdb}",
            "-E", "-A", "-H", "-4", "-f", "none"]


def wait_for_port(addr, seconds=15):
    end = time.time() + seconds
    while time.time() < end:
        try:
            with socket.create_connection((addr, 21), timeout=1):
                return True
        except OSError:
            time.sleep(0.1)
    return False


def in_root(cmd, base):
    if not WINE_ROOT:
        return cmd
    return ["sh", os.path.join(TOP, "cmake", "wine-chroot.sh"), "--bind", TOP, "--bind", base, WINE_ROOT] + cmd


def root_ftp_uid():
    """The uid of vsftpd's anonymous user where the server runs: the root has its own."""
    with open(os.path.join(WINE_ROOT, "etc", "passwd")) as f:
        return next(int(line.split(":")[2]) for line in f if line.startswith("ftp:"))


def start(kind, addr, base):
    stop(base)
    os.makedirs(base, exist_ok=True)
    if kind == "vsftpd":
        # vsftpd refuses a writable anonymous root: serve a root-owned parent whose one
        # child, the tree, belongs to the anonymous user.
        import pwd
        ftp = root_ftp_uid() if WINE_ROOT else pwd.getpwnam("ftp").pw_uid
        root = os.path.join(base, "anon", "root")
        make_tree(root, owner=ftp)
        os.chmod(os.path.dirname(root), 0o555)
        cmd = in_root(["/usr/sbin/vsftpd", vsftpd_config(addr, base, root)], base)
    elif kind == "pureftpd":
        import pwd
        ftp = pwd.getpwnam("ftp")
        root = os.path.join(base, "root")
        make_tree(root, owner=ftp.pw_uid)
        cmd = pure_ftpd_command(addr, base, root, ftp.pw_uid, ftp.pw_gid)
    else:
        root = os.path.join(base, "root")
        make = {"bench": make_flat_tree, "demo": make_demo_tree, "explorer": make_explorer_tree,
                "breaking": make_breaking_tree}.get(kind, make_tree)
        make(root)
        if kind in ("scripted", "dying", "hangup", "silent", "hostile"):
            script, mode = "scripted_ftp.py", [kind]
        else:
            script = {"twisted": "twisted_server.py", "breaking": "breaking_server.py"}.get(kind, "pyftpd_server.py")
            mode = []
        cmd = ["/usr/bin/python3", os.path.join(HERE, script), addr, root] + mode
        if kind in ("pyftpdlib", "demo", "explorer", "breaking"):
            cmd = in_root(cmd, base)
    for stale in ("commands.log", "sent.log"):  # breaking_server.py's, from an earlier run
        if os.path.exists(os.path.join(base, stale)):
            os.remove(os.path.join(base, stale))
    log = open(os.path.join(base, "server.log"), "wb")
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                            start_new_session=True)
    with open(os.path.join(base, "pid"), "w") as f:
        f.write(str(proc.pid))
    with open(os.path.join(base, "rootpath"), "w") as f:
        f.write(root)
    up = wait_for_port(addr)
    time.sleep(0.3)  # a server that lost the address to another one exits by now
    if not up or proc.poll() is not None:
        print(f"{kind} did not come up on {addr}:21; see {base}/server.log", file=sys.stderr)
        stop(base)
        return 1
    print(f"{kind} on {addr}:21 pid {proc.pid} serving {root}")
    return 0


def stop(base):
    pidfile = os.path.join(base, "pid")
    if not os.path.exists(pidfile):
        return 0
    with open(pidfile) as f:
        pid = int(f.read().strip() or 0)
    os.remove(pidfile)
    if pid <= 0:
        return 0
    # The server was started as the leader of its own process group: the group holds
    # exactly the processes it started (sessions, a supervised child).
    try:
        os.killpg(pid, signal.SIGTERM)
        for _ in range(50):
            os.kill(pid, 0)
            time.sleep(0.1)
    except ProcessLookupError:
        pass
    try:
        os.killpg(pid, signal.SIGKILL)  # what is left: a leader that would not go, its sessions
    except ProcessLookupError:
        pass
    return 0


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "start":
        return start(sys.argv[2], sys.argv[3], sys.argv[4])
    if len(sys.argv) == 5 and sys.argv[1] == "stop":
        return stop(sys.argv[4])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
