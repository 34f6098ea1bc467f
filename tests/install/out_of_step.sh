#!/bin/sh
# out_of_step.sh SOURCE_DIR: the install step on a day when the package index is out of
# step. In a private mount namespace apt sees one more source whose index cannot be fetched
# (a suite the registry does not have) and no i386 package of the security suite, so that
# a multi-arch library's amd64 candidate (security) and its i386 one (base release)
# differ, as when the security suite's i386 list is being re-synced. The step must still
# install a small i386 library that is not installed yet, and say what it did. The
# library is removed again afterwards; the machine's own files are never touched.
set -e
source_dir=$(cd "$1" && pwd)
if [ "$2" != --inside ]; then
    [ "$(id -u)" = 0 ] || { echo "skipped: the install step needs root"; exit 77; }
    unshare -m true 2>/dev/null || { echo "skipped: unshare -m is not allowed here"; exit 77; }
    exec unshare -m sh "$0" "$source_dir" --inside
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mount --make-rprivate /
cp -a /etc/apt/sources.list.d "$work/sources" && cp -a /etc/apt/preferences.d "$work/preferences"
printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: ryinet-no-such-suite\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    >"$work/sources/ryinet-missing.sources"
printf 'Package: *:i386\nPin: release l=Debian-Security\nPin-Priority: -1\n' >"$work/preferences/ryinet-skew"
mount --bind "$work/sources" /etc/apt/sources.list.d
mount --bind "$work/preferences" /etc/apt/preferences.d
apt-get update -qq >/dev/null 2>&1 || true

# A small multi-arch library installed on neither side whose amd64 candidate (security)
# is newer than its i386 one (base release); without one today (a point release has just
# taken the security suite in), any small library installed on neither side.
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
index() { apt-get indextargets --format '$(FILENAME)' 'Created-By: Packages' "$@" | head -n 1; }
fields() {
    /usr/lib/apt/apt-helper cat-file "$1" | awk -v RS= -v same="$2" '
        !same || /\nMulti-Arch: same/ {
            match($0, /^Package: [^\n]*/); p = substr($0, 10, RLENGTH - 9)
            match($0, /\nVersion: [^\n]*/); v = substr($0, RSTART + 10, RLENGTH - 10)
            match($0, /\nInstalled-Size: [0-9]*/); s = substr($0, RSTART + 17, RLENGTH - 17)
            print p, v, s }'
}
fields "$(index 'Label: Debian' "Codename: $codename" 'Architecture: i386')" 0 >"$work/base"
fields "$(index 'Label: Debian-Security' 'Architecture: amd64')" 1 >"$work/security"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
# Installs itself and nothing else, on both sides, from the base release.
alone() { [ "$(apt-get -s -t "$codename" install --no-install-recommends "$1" "$1:i386" 2>/dev/null | grep -c '^Inst')" = 2 ]; }
pick=""
skewed=yes
for p in $(awk 'NR == FNR { base[$1] = $2; next } ($1 in base) && base[$1] != $2 && $3 < 500 { print $3, $1, $2, base[$1] }' \
    "$work/base" "$work/security" | sort -n | while read -r size p newer older; do
        dpkg --compare-versions "$newer" gt "$older" && echo "$p"; done); do
    installed "$p" || installed "$p:i386" || ! alone "$p" || { pick=$p; break; }
done
if [ -z "$pick" ]; then
    skewed=no
    for p in libcjson1 libndp0 libcue2 libmodbus5; do
        installed "$p" || installed "$p:i386" || ! alone "$p" || { pick=$p; break; }
    done
fi
[ -n "$pick" ] || { echo "skipped: no small library to install"; exit 77; }
echo "installing $pick and $pick:i386 (their candidates differ: $skewed)"

policy_before=$(ls /usr/sbin/policy-rc.d 2>/dev/null || true)
status=0
RYINET_APT_PAUSE=1 sh "$source_dir/cmake/install-deps.sh" "$pick" "$pick:i386" >"$work/log" 2>&1 || status=$?
grep -e '^apt-get' -e '^could not' -e '^installing' "$work/log" || true
both=no
installed "$pick" && installed "$pick:i386" && both=yes
apt-get purge -y -qq "$pick" "$pick:i386" >/dev/null 2>&1 || true

fail() { echo "FAILED: $*"; tail -n 30 "$work/log"; exit 1; }
[ "$status" = 0 ] || fail "the install step exited $status"
[ "$both" = yes ] || fail "$pick and $pick:i386 were not installed"
grep -q '^apt-get update: .*ryinet-no-such-suite Release.* could not be fetched after 3 tries; going on' "$work/log" ||
    fail "the update did not say which index failed"
if [ "$skewed" = yes ]; then
    grep -q '^apt-get install: .* base release (-t ' "$work/log" || fail "the install did not say it took the base release"
fi
[ "$(ls /usr/sbin/policy-rc.d 2>/dev/null || true)" = "$policy_before" ] || fail "the step left /usr/sbin/policy-rc.d behind"
echo "passed"
