#!/usr/bin/env python3
"""typelib_time.py TLB: gives widl's type library a fixed creation time.

widl stamps the library with its creation time twice, as custom data: the text "Created
by WIDL version V at <ctime>" and the same moment in seconds (a VT_UI4), and it reads no
SOURCE_DATE_EPOCH, so two builds of one commit would differ. Both become 1 January 1970;
each keeps its length, so nothing else in the file moves.
"""
import re
import struct
import sys
import time

FIXED_TEXT = b"Thu Jan  1 00:00:00 1970"
VT_UI4 = b"WW\x13\x00"  # the custom datum's variant header: a 32-bit unsigned value follows
path = sys.argv[1]
with open(path, "rb") as f:
    data = f.read()
stamp = re.search(rb"Created by WIDL version [0-9.]+ at ([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4})", data)
if not stamp:
    sys.exit(f"typelib_time.py: no creation time in {path}")
# ctime gave local time; so does mktime, back to the seconds widl wrote beside it.
seconds = int(time.mktime(time.strptime(stamp.group(1).decode(), "%a %b %d %H:%M:%S %Y")))
stamped = data[:stamp.start(1)] + FIXED_TEXT + data[stamp.end(1):]
found = [s for s in (seconds - 1, seconds, seconds + 1) if stamped.count(VT_UI4 + struct.pack("<I", s)) == 1]
if len(found) != 1:
    sys.exit(f"typelib_time.py: the creation time in seconds is not in {path}")
stamped = stamped.replace(VT_UI4 + struct.pack("<I", found[0]), VT_UI4 + struct.pack("<I", 0))
with open(path, "wb") as f:
    f.write(stamped)
