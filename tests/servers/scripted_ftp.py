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
greets. Any user and password log in. Active mode (PORT) only, as the client uses.
"""
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
MODE = "normal"
BROKEN_TAIL = b"-rw-r--r--   1 ry ry      "  # no end of line: the transfer was cut
CUT_FILE = b"pl"  # of the 5 bytes SIZE announces


class Session(socketserver.StreamRequestHandler):
    def reply(self, text):
        self.wfile.write((text + "\r\n").encode("latin-1"))
        self.wfile.flush()

    def handle(self):
        self.port = None
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
                self.reply("200 ok")
            elif verb == "PWD":
                self.reply('257 "/" is current')
            elif verb == "CWD":
                self.reply("250 ok")
            elif verb == "PORT":
                n = [int(x) for x in arg.split(",")]
                self.port = (".".join(map(str, n[:4])), n[4] * 256 + n[5])
                self.reply("200 PORT ok")
            elif verb in ("LIST", "NLST"):
                self.list(arg.strip())
            elif verb == "SIZE":
                self.reply("213 5")
            elif verb == "RETR":
                self.transfer(lambda data: data.sendall(CUT_FILE), "426 connection closed; transfer aborted")
            elif verb == "QUIT":
                self.reply("221 bye")
                return
            else:
                self.reply("502 not implemented")

    def transfer(self, send, last_reply):
        """Calls send with a data connection to the client's PORT, then gives last_reply."""
        if self.port is None:
            self.reply("425 use PORT first")
            return
        self.reply("150 here it comes")
        with socket.create_connection(self.port, timeout=10) as data:
            send(data)
        self.port = None
        self.reply(last_reply)

    def list(self, arg):
        key = arg.strip("/").split("/")[-1] if arg else ""
        lines = LISTINGS.get(key, LISTINGS[""])

        def send(data):
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
