#!/usr/bin/python3
"""twisted_server.py ADDR ROOT: Twisted's FTP server on ADDR:21, user ryuser/rypass with
full rights on ROOT."""
import sys
from twisted.cred.checkers import InMemoryUsernamePasswordDatabaseDontUse
from twisted.cred.portal import IRealm, Portal
from twisted.internet import reactor
from twisted.protocols.ftp import FTPFactory, FTPShell, IFTPShell
from twisted.python.filepath import FilePath
from zope.interface import implementer


@implementer(IRealm)
class Realm:
    def __init__(self, root):
        self.root = FilePath(root)

    def requestAvatar(self, avatar_id, mind, *interfaces):
        return IFTPShell, FTPShell(self.root), lambda: None


def main():
    addr, root = sys.argv[1], sys.argv[2]
    users = InMemoryUsernamePasswordDatabaseDontUse()
    users.addUser("ryuser", "rypass")  # the FTP protocol hands over str, not bytes
    reactor.listenTCP(21, FTPFactory(Portal(Realm(root), [users])), interface=addr)
    reactor.run()


if __name__ == "__main__":
    main()
