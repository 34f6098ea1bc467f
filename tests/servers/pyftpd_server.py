#!/usr/bin/python3
"""pyftpd_server.py ADDR ROOT: pyftpdlib on ADDR:21, user ryuser/rypass (full rights)
and anonymous (read only), both rooted at ROOT. RYTEST_MOST_CONNECTIONS=N: the server takes
at most N connections from one address, and answers another with pyftpdlib's 421."""
import os
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    addr, root = sys.argv[1], sys.argv[2]
    auth = DummyAuthorizer()
    auth.add_user("ryuser", "rypass", root, perm="elradfmwMT")
    auth.add_anonymous(root)
    handler = FTPHandler
    handler.authorizer = auth
    handler.permit_privileged_ports = True
    handler.use_gmt_times = True
    server = FTPServer((addr, 21), handler)
    server.max_cons_per_ip = int(os.environ.get("RYTEST_MOST_CONNECTIONS", "0"))
    server.serve_forever()


if __name__ == "__main__":
    main()
