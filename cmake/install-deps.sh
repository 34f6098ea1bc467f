#!/bin/sh
# Installs what the build, the demo, the tests and the bench run, only when something is
# missing (as root, with apt-get). Safe to run every time. One list for every machine;
# then, once the 32-bit Wine packages are in, the route for 32-bit code
# (cmake/i386-route.sh) adds what emulation needs where i386 programs are emulated.
# libsodium23 and libssl3 are what the unpacked pure-ftpd the tests fetch (never
# installed: it conflicts with vsftpd) needs to run; debootstrap makes the Debian 13 root
# of make test-wine10; mingw-w64-tools has widl, which compiles the automation server's
# IDL, the x86-64 compiler builds its 64-bit test client and wine64 runs it; iproute2 and
# iptables make the test hosts' namespaces, links and NAT; curl is the bench's yardstick.
# With PACKAGE arguments it installs those instead (the test of the step itself); --list
# prints the list (tests/install/packages_check.py holds it against what the suite runs).
set -e
PACKAGES="cmake make python3 g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
googletest wine wine32:i386 wine64 xvfb xauth python3-pyftpdlib vsftpd python3-twisted
clang libclang-rt-14-dev lld llvm libwine-dev osslsigncode openssl gnuplot-nox imagemagick fonts-wine
libsodium23 libssl3 debootstrap fp-compiler-3.2.2 fp-utils-3.2.2 fpc-source-3.2.2 mono-devel iptables
g++-mingw-w64-x86-64 mingw-w64-tools iproute2 curl"
if [ "$1" = --list ]; then
    printf '%s\n' $PACKAGES
    exit 0
fi
[ $# -eq 0 ] || PACKAGES="$*"

here=$(dirname "$0")
. "$here/apt.sh"
route="$here/i386-route.sh"
missing=$(apt_missing $PACKAGES)
if [ -z "$missing" ]; then
    apt_done
    exec sh "$route" setup
fi

echo "installing:$missing"
if [ "$(id -u)" != 0 ]; then
    echo "need root to install:$missing" >&2
    exit 1
fi
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
# The tests start their own FTP servers on chosen loopback addresses; a packaged server
# started by its install would hold port 21 on every address. The block goes on every
# exit, a failed one too: left behind, it would refuse every service a start.
own_policy=""
if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
    own_policy=1
fi
trap '[ -n "$own_policy" ] && rm -f /usr/sbin/policy-rc.d; apt_done' EXIT
trap 'exit 1' HUP INT TERM
apt_update
apt_install $missing
sh "$route" setup
