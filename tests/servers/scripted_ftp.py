#!/usr/bin/python3
"""scripted_ftp.py ADDR ROOT [MODE]: a small FTP server (standard library only) on ADDR:21
that serves canned LIST output no ordinary server produces. The listing is chosen by the
directory the client lists:

  odd      names with ';' and '|', a directory, a zero-length file, a 3000000000-byte
           file, a file over 4 GiB, an old date with a year, a 250-character name
  broken   two complete entries, then half an entry and the data connection closes
  iis      an MS-DOS style listing, as IIS writes it
  unsafe   names no local file may take: ../evil, C:x, a\b, one with a control byte,
           .., a device (CON.txt), and a directory
  dying    three entries, slowly, then half an entry, and the whole server process is
           killed (in MODE dying a supervisor brings it back a moment later)
  (other)  one ordinary file

Every file is a transfer cut short: SIZE says 5 bytes, RETR sends 2 and closes the data
connection. MODE hangup closes every connection right after the greeting; MODE silent never
greets. MODE hostile misbehaves on purpose (see HOSTILE): terminal escapes in names, in the
current directory and in a refusal, transfers that no final reply confirms, more bytes than
SIZE said, fewer than the 150 announced, a SIZE that counts ASCII line ends in ASCII type,
and a listing, a reply and a transfer that never end. Any user and password log
in. Active mode (PORT) only, as the client uses.
"""
import itertools
import os
import signal
import socket
import socketserver
import subprocess
import sys
import time

LONG_NAME = "L" * 250
LISTINGS = {
    "odd": [
        "-rw-r--r--   1 ry ry           12 Mar 07  1998 semi;colon|pipe.txt",
        "drwxr-xr-x   2 ry ry         4096 Jan 01 00:00 sub;dir",
        "-rw-r--r--   1 ry ry            0 Feb 02 09:05 zero.dat",
        "-rw-r--r--   1 ry ry   3000000000 Jul 04 23:59 three_gb.iso",
        "-rw-r--r--   1 ry ry   5000000000 Dec 31  2001 five_gb.img",
        "-rw-r--r--   1 ry ry          512 Mar 07  1970 ancient.txt",
        f"-rw-r--r--   1 ry ry            7 Oct 10 10:10 {LONG_NAME}",
    ],
    "broken": [
        "-rw-r--r--   1 ry ry            1 Mar 07  1998 first.txt",
        "-rw-r--r--   1 ry ry            2 Mar 07  1998 second.txt",
    ],
    "iis": [
        "03-07-98  02:05PM       <DIR>          pub",
        "03-07-98  02:05PM                  512 readme.txt",
        "12-31-01  11:59PM           3000000000 big.iso",
        "01-01-00  12:00AM                    0 zero.dat",
        "10-10-10  10:10AM                    7 two words.txt",
    ],
    "unsafe": [
        f"-rw-r--r--   1 ry ry            5 Mar 07  1998 {name}"
        for name in ("../evil", "C:x", "a\\b", "bell\x07.txt", "..", "CON.txt")
    ] + ["drwxr-xr-x   2 ry ry         4096 Mar 07  1998 sub"],
    "dying": [f"-rw-r--r--   1 ry ry            {i} Mar 07  1998 slow{i}.txt" for i in range(1, 4)],
    "": ["-rw-r--r--   1 ry ry            5 Mar 07  1998 plain.txt"],
}
# What a hostile server sends: a clear-screen, a window title (OSC ... BEL), backspaces
# and DEL, and the C1 controls CSI and NEL in UTF-8, as a client that reads UTF-8 gets them
# (the names go out as Latin-1 code points, one byte each).
ESCAPES = "\x1b[2J\x1b]0;PWNED\x07"
HOSTILE_NAMES = ["clear\x1b[2J\x1b[H.txt", "title\x1b]0;PWNED\x07.txt", "rub\x08\x08\x7f.txt",
                 "c1\xc2\x9b2J\xc2\x85.txt", "good.txt"]
# By the file asked for: (SIZE answer or None, bytes sent, what ends the transfer).
HOSTILE = {
    "good.txt": (5, b"good\n", "226 done"),
    "nosize_a": (None, b"a" * 300, "426 connection closed; transfer aborted"),
    "nosize_b": (None, b"b" * 300, None),  # the control connection drops instead of a reply
    "toolong": (100, b"x" * (5 << 20), "226 done"),
    "endless": (1000, b"e" * 100, "never"),  # the data connection stays open, silent
    "announced.bin": (None, b"an", "226 done"),  # only the 150 tells the size: 5
    "full.bin": (None, b"f" * 300, "426 connection closed; transfer aborted"),  # and STOR fills the disk
    "ascii.bin": (5, b"ab\ncd", "226 done"),  # in ASCII type SIZE counts CRLF line ends: 7
    "slow.bin": (48000, b"s" * 48000, "226 done"),  # at 16 KB/s, as a slow link brings it
}
SLOW = {"slow.bin": 16000}  # bytes a second
# The size a 150 announces, as vsftpd and ProFTPD write it, and SIZE's answer in ASCII type,
# as wu-ftpd counts it.
ANNOUNCED = {"announced.bin": 5}
ASCII_SIZE = {"ascii.bin": 7}
MODE = "normal"
BROKEN_TAIL = b"-rw-r--r--   1 ry ry      "  # no end of line: the transfer was cut
CUT_FILE = b"pl"  # of the 5 bytes SIZE announces


class Session(socketserver.StreamRequestHandler):
    def reply(self, text):
        self.wfile.write((text + "\r\n").encode("latin-1"))
        self.wfile.flush()

    def handle(self):
        self.port = None
        self.listener = None  # PASV's: the client connects for the next transfer
        self.ascii = True  # the type every session begins in
        if MODE == "silent":
            self.rfile.read()  # until the client gives up
            return
        self.reply("220 scripted")
        if MODE == "hangup":
            return
        for raw in self.rfile:
            line = raw.decode("latin-1").rstrip("\r\n")
            sys.stderr.write(f"<- {line}\n")
            verb, _, arg = line.partition(" ")
            verb = verb.upper()
            if verb == "USER":
                self.reply("331 password please")
            elif verb == "PASS":
                self.reply("230 logged in")
            elif verb == "SYST":
                self.reply("215 UNIX Type: L8")
            elif verb in ("TYPE", "MODE", "STRU", "NOOP"):
                if verb == "TYPE":
                    self.ascii = arg.upper().startswith("A")
                self.reply("200 ok")
            elif verb == "PWD":
                self.reply(f'257 "/{ESCAPES}dir" is current' if MODE == "hostile" else '257 "/" is current')
            elif verb == "CWD" and MODE == "hostile" and arg == "endless":
                self.endless_reply()
                return
            elif verb == "CWD":
                self.reply("250 ok")
            elif verb == "STOR" and MODE == "hostile":
                self.hostile_stor(arg)
            elif verb == "PASV":
                if self.listener:
                    self.listener.close()
                self.listener = socket.create_server((self.server.server_address[0], 0))
                self.listener.settimeout(10)
                host, port = self.listener.getsockname()[:2]
                self.port = None
                self.reply(f"227 Entering Passive Mode ({host.replace('.', ',')},{port >> 8},{port & 255})")
            elif verb == "PORT":
                n = [int(x) for x in arg.split(",")]
                self.port = (".".join(map(str, n[:4])), n[4] * 256 + n[5])
                self.reply("200 PORT ok")
            elif verb in ("LIST", "NLST"):
                self.list(arg.strip())
            elif verb == "SIZE" and MODE == "hostile":
                size = ASCII_SIZE.get(arg) if self.ascii and arg in ASCII_SIZE else HOSTILE.get(arg, (None,))[0]
                self.reply(f"213 {size}" if size is not None else "550 no size for you")
            elif verb == "RETR" and MODE == "hostile":
                if not self.hostile_retr(arg):
                    return
            elif verb == "SIZE":
                self.reply("213 5")
            elif verb == "RETR":
                self.transfer(lambda data: data.sendall(CUT_FILE), "426 connection closed; transfer aborted")
            elif verb == "QUIT":
                self.reply("221 bye")
                return
            else:
                self.reply("502 not implemented")

    def data_connection(self):
        """The data connection: to the client's PORT, or the client's to our PASV port."""
        if self.port is not None:
            data, self.port = socket.create_connection(self.port, timeout=10), None
            return data
        data, _ = self.listener.accept()
        self.listener.close()
        self.listener = None
        return data

    def transfer(self, send, last_reply):
        """Calls send with the data connection, then gives last_reply."""
        if self.port is None and self.listener is None:
            self.reply("425 use PORT or PASV first")
            return
        self.reply("150 here it comes")
        with self.data_connection() as data:
            send(data)
        self.reply(last_reply)

    def endless_reply(self):
        """A multi-line reply whose last line never comes."""
        while True:
            self.reply("250-still changing")
            time.sleep(0.2)

    def hostile_retr(self, name):
        """Sends a HOSTILE file; False when the control connection was dropped."""
        if name not in HOSTILE:
            self.reply("550 no such file")
            return True
        _, body, end = HOSTILE[name]
        if self.port is None and self.listener is None:
            self.reply("425 use PORT or PASV first")
            return True
        if name in ANNOUNCED:
            self.reply(f"150 Opening BINARY mode data connection for {name} ({ANNOUNCED[name]} bytes).")
        else:
            self.reply("150 here it comes")
        with self.data_connection() as data:
            try:
                step = SLOW[name] // 10 if name in SLOW else len(body) or 1
                for at in range(0, len(body), step):
                    data.sendall(body[at:at + step])
                    if name in SLOW:
                        time.sleep(0.1)
            except OSError:  # the client stopped reading
                end = "426 connection closed; transfer aborted"
            while end == "never":
                time.sleep(1)
        if end is None:
            self.connection.shutdown(socket.SHUT_RDWR)
            return False
        self.reply(end)
        return True

    def hostile_stor(self, name):
        """full.bin: takes the data, then says the disk is full; stalled.bin: takes the data
        connection and never reads it; anything else: refused."""
        if name not in ("full.bin", "stalled.bin"):
            self.reply(f"553 denied {ESCAPES} here")
            return
        if self.port is None and self.listener is None:
            self.reply("425 use PORT or PASV first")
            return
        self.reply("150 send it")
        with self.data_connection() as data:
            while name == "stalled.bin":
                time.sleep(1)
            while data.recv(65536):
                pass
        self.reply("552 exceeded storage allocation")

    def list(self, arg):
        key = arg.strip("/").split("/")[-1] if arg else ""
        lines = LISTINGS.get(key, LISTINGS[""])
        if MODE == "hostile":
            lines = [f"-rw-r--r--   1 ry ry            5 Mar 07  1998 {n}" for n in HOSTILE_NAMES]

        def send(data):
            if MODE == "hostile" and key == "endless":
                for i in itertools.count():  # slowly, and never done
                    data.sendall(f"-rw-r--r--   1 ry ry  {i:11d} Mar 07  1998 more{i}\r\n".encode())
                    time.sleep(0.2)
            if MODE == "hostile" and key == "stalled":
                for i in range(3):  # a start, then nothing more, the connection left open
                    data.sendall(f"-rw-r--r--   1 ry ry            5 Mar 07  1998 first{i}\r\n".encode())
                time.sleep(600)
            if key == "dying":
                for l in lines:
                    data.sendall((l + "\r\n").encode("latin-1"))
                    time.sleep(0.3)
                data.sendall(BROKEN_TAIL)
                os.kill(os.getpid(), signal.SIGKILL)
            data.sendall("".join(l + "\r\n" for l in lines).encode("latin-1"))
            if key == "broken":
                data.sendall(BROKEN_TAIL)
        self.transfer(send, "426 connection closed; transfer aborted" if key == "broken" else "226 done")


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def supervise(addr, root):
    """Runs the server as a child and starts it again whenever it dies."""
    child = None

    def stop(*_):
        if child:
            child.kill()
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    while True:
        child = subprocess.Popen([sys.executable, __file__, addr, root, "dying-child"])
        child.wait()
        time.sleep(0.5)


def main():
    global MODE
    MODE = sys.argv[3] if len(sys.argv) > 3 else "normal"
    if MODE == "dying":
        return supervise(sys.argv[1], sys.argv[2])
    Server((sys.argv[1], 21), Session).serve_forever()


if __name__ == "__main__":
    main()
