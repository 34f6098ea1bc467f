#!/usr/bin/python3
"""breaking_server.py ADDR ROOT: pyftpdlib on ADDR:21 (ryuser/rypass, full rights; anonymous,
read only) whose first transfer of each file breaks off: a RETR sends the first half of the
file, a STOR keeps the first 512 KiB, then the data connection is closed and the reply is
426. REST works both ways, as pyftpdlib has it. Each command the server reads is written to
ROOT/../commands.log (a password as ****), and each RETR's bytes sent to ROOT/../sent.log."""
import os
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

CUT_STOR = 512 * 1024
BROKEN = set()  # (command, path) already broken once


def log(name, line):
    with open(os.path.join(LOGS, name), "a") as f:
        f.write(line + "\n")


class HalfProducer:
    def __init__(self, producer, left):
        self.producer, self.left = producer, left

    def more(self):
        if self.left <= 0:
            return b""
        data = self.producer.more()[: self.left]
        self.left -= len(data)
        return data


class BreakingDTP(DTPHandler):
    def handle_read(self):
        super().handle_read()
        if self.cmd_channel.cut_stor and self.tot_bytes_received >= CUT_STOR and not self._closed:
            self.cmd_channel.cut_stor = False
            self.cmd_channel.cut = True
            self.file_obj.flush()
            self.file_obj.truncate(CUT_STOR)  # what a chunk brought past it is not kept
            self.handle_close()

    handle_read_event = handle_read  # as pyftpdlib binds its own

    def handle_close(self):
        if not self._closed and self.cmd_channel.cut:
            self.cmd_channel.cut = False
            self._resp = ("426 Connection closed; transfer aborted.", lambda *a: None)
            self.close()
            return
        super().handle_close()

    def close(self):
        if not self._closed and not self.receive and self.cmd == "RETR":
            log("sent.log", "%d" % self.tot_bytes_sent)
        super().close()


class BreakingHandler(FTPHandler):
    dtp_handler = BreakingDTP
    use_sendfile = False  # the producer is where a RETR is cut
    cut = cut_stor = False

    def pre_process_command(self, line, cmd, arg):
        log("commands.log", "PASS ****" if cmd == "PASS" else line)
        super().pre_process_command(line, cmd, arg)

    def first(self, command, path):
        key = (command, os.path.realpath(path))
        if key in BROKEN or self._restart_position:
            return False
        BROKEN.add(key)
        return True

    def ftp_RETR(self, file):
        self.cut = self.first("RETR", file)
        return super().ftp_RETR(file)

    def ftp_STOR(self, file, mode="w"):
        self.cut_stor = "a" not in mode and self.first("STOR", file)
        return super().ftp_STOR(file, mode)

    def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
        if cmd == "RETR" and isproducer and self.cut:
            data = HalfProducer(data, os.fstat(file.fileno()).st_size // 2)
        super().push_dtp_data(data, isproducer, file, cmd)


def main():
    global LOGS
    addr, root = sys.argv[1], sys.argv[2]
    LOGS = os.path.dirname(os.path.abspath(root))
    auth = DummyAuthorizer()
    auth.add_user("ryuser", "rypass", root, perm="elradfmwMT")
    auth.add_anonymous(root)
    BreakingHandler.authorizer = auth
    BreakingHandler.permit_privileged_ports = True
    BreakingHandler.use_gmt_times = True
    FTPServer((addr, 21), BreakingHandler).serve_forever()


if __name__ == "__main__":
    main()
