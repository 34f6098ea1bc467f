#!/usr/bin/python3
"""relay.py OUT ERR: copies what a Windows program writes into the FIFOs OUT and ERR to
this process's standard output and error (cmake/wine-run.sh gives them the caller's),
until SIGTERM says the program has ended: then it copies what the FIFOs still hold and
ends. A process the program started (under Wine, each inherits its Unix output: the next
wineserver, a desktop) may hold the FIFOs for as long as the prefix is used; the caller's
output is released all the same."""
import os
import select
import signal
import sys

ended = False


def on_end(*_):
    global ended
    ended = True


signal.signal(signal.SIGTERM, on_end)
signal.signal(signal.SIGINT, signal.SIG_IGN)  # the program's Ctrl-C is not the relay's
# Read and write: a FIFO held so never reads as ended, so only the program's end ends it.
sources = {os.open(path, os.O_RDWR | os.O_NONBLOCK): out for path, out in zip(sys.argv[1:3], (1, 2))}


def copy(fd):
    """What fd holds now, to its output; False once it holds nothing."""
    try:
        data = os.read(fd, 65536)
    except BlockingIOError:
        return False
    view = memoryview(data)
    while view:
        try:
            view = view[os.write(sources[fd], view):]
        except BlockingIOError:
            select.select([], [sources[fd]], [])
        except BrokenPipeError:
            return False
    return bool(data)


while not ended:
    try:
        ready, _, _ = select.select(list(sources), [], [], 0.2)
    except InterruptedError:
        continue
    for fd in ready:
        copy(fd)
for fd in sources:
    while copy(fd):
        pass
