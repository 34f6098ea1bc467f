#!/usr/bin/python3
"""delay_line.py DEVICE MILLISECONDS READY_FILE: a delay line for the test bench's links (this
kernel has no netem). Makes the TUN device DEVICE in the network namespace it runs in, brings
it up, writes READY_FILE, then writes every packet read from it back into it MILLISECONDS
later, in the order it came. The router's routes send what it forwards into the device, and
what comes back out goes on by the main table: each way of a link is held once."""
import collections
import fcntl
import os
import select
import struct
import subprocess
import sys
import time

TUNSETIFF, IFF_TUN, IFF_NO_PI = 0x400454CA, 0x0001, 0x1000


def main():
    device, delay, ready = sys.argv[1], int(sys.argv[2]) / 1000.0, sys.argv[3]
    tun = os.open("/dev/net/tun", os.O_RDWR)
    fcntl.ioctl(tun, TUNSETIFF, struct.pack("16sH", device.encode(), IFF_TUN | IFF_NO_PI))
    subprocess.run(["ip", "link", "set", device, "up"], check=True)
    open(ready, "w").close()
    held = collections.deque()  # (when it goes, packet): a fixed delay keeps them in order
    while True:
        wait = max(0.0, held[0][0] - time.monotonic()) if held else None
        if select.select([tun], [], [], wait)[0]:
            held.append((time.monotonic() + delay, os.read(tun, 65536)))
        now = time.monotonic()
        while held and held[0][0] <= now:
            os.write(tun, held.popleft()[1])


if __name__ == "__main__":
    main()
