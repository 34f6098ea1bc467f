#!/bin/sh
# wine-root.sh DIR
# Makes DIR a Debian 13 (trixie) root with Wine 10 and the test servers, for the tests'
# second platform (make test-wine10; cmake/wine-run.sh runs Wine in it through
# wine-chroot.sh). Made once and kept: a root whose recorded package list and mirror
# equal today's is left as it is; any other is made anew. As root, from the mirror of
# the machine's own source lists.
set -e
root=$1
[ -n "$root" ] || { echo "usage: wine-root.sh DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
suite=trixie
packages="wine wine32:i386 wine64 python3 python3-pyftpdlib vsftpd xvfb xauth"

# The first Debian archive (not -security) the machine's own lists name.
mirror=$(sed -n 's/^URIs: *\([^ ]*\/debian\)\/\{0,1\} *$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=$(sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\/debian\)\/\{0,1\} .*/\2/p' /etc/apt/sources.list 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
want="suite=$suite mirror=$mirror packages=$packages"
stamp=$root/.ryinet-root
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
    exit 0
fi
[ "$(id -u)" = 0 ] || { echo "wine-root.sh: making the Debian 13 root needs root: run 'sudo make test-wine10'" >&2; exit 1; }
command -v debootstrap >/dev/null || { echo "wine-root.sh: debootstrap is missing (make deps installs it)" >&2; exit 1; }

mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && exit 0

# Made beside the old one and moved into place whole: a root cut off halfway is never used.
new=$root.new
rm -rf "$new" "$root.old"
started=$(date +%s)
echo "wine-root.sh: making a Debian $suite root in $root from $mirror"
try=1
until debootstrap --variant=minbase "$suite" "$new" "$mirror" >"$root.log" 2>&1; do
    if [ "$try" -ge 3 ]; then
        tail -n 20 "$root.log" >&2
        echo "wine-root.sh: debootstrap failed $try times (log: $root.log)" >&2
        exit 1
    fi
    try=$((try + 1))
    rm -rf "$new"
    sleep 5
done
# A packaged server started by its install would hold port 21 on every address.
printf '#!/bin/sh\nexit 101\n' >"$new/usr/sbin/policy-rc.d"
chmod +x "$new/usr/sbin/policy-rc.d"
cp "$here/apt.sh" "$new/root/apt.sh"
cp /etc/resolv.conf "$new/etc/resolv.conf" 2>/dev/null || true
chroot "$new" dpkg --add-architecture i386
# The same tries as the machine's own install step (apt.sh), run inside the root.
sh "$here/wine-chroot.sh" "$new" sh -c ". /root/apt.sh; apt_update; apt_install $packages; apt_done; apt-get clean" \
    >>"$root.log" 2>&1 || {
    tail -n 20 "$root.log" >&2
    echo "wine-root.sh: the packages could not be installed in the root (log: $root.log)" >&2
    exit 1
}
rm -f "$new/root/apt.sh"
echo "$want" >"$new/.ryinet-root"
[ -e "$root" ] && mv "$root" "$root.old"
mv "$new" "$root"
rm -rf "$root.old"
echo "wine-root.sh: made in $(($(date +%s) - started)) s, $(du -sm "$root" | cut -f1) MB; $(sh "$here/wine-chroot.sh" "$root" wine --version 2>&1 | head -n 1)"
