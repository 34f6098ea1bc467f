# apt.sh: apt-get steps that go on through a bad day of the package index; sourced by
# install-deps.sh and i386-route.sh (as root). Real mirrors and proxies are out of step
# for hours at a time: a list being re-synced ("Mirror sync in progress?"), a package
# whose download breaks off. The machine's own source lists are never edited.
#   apt_update             apt-get update, a few tries; an index that still fails is named
#                          in one line, and the lists there are are used.
#   apt_install PACKAGE... apt-get install, downloads retried; when apt cannot resolve, once
#                          more with the candidates of the running system's base release.
#                          Stops the script with one line when that fails too.
apt_tries=3
apt_pause=${RYINET_APT_PAUSE:-5}
apt_log=$(mktemp)
apt_failed_index=""
# apt's own retries for each download, on top of the tries here.
apt_options="-q -o Acquire::Retries=3"
export DEBIAN_FRONTEND=noninteractive

# Runs a command with its output shown and kept in $apt_log; its exit status.
apt_logged() {
    { "$@" 2>&1; echo $? >"$apt_log.rc"; } | tee "$apt_log"
    return "$(cat "$apt_log.rc")"
}

apt_update() {
    try=1
    until apt_logged apt-get update $apt_options; do
        if [ "$try" -ge "$apt_tries" ]; then
            # "Err:7 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
            apt_failed_index=$(sed -n 's/^Err:[0-9]* //p' "$apt_log" | sort -u | sed ':a;N;$!ba;s/\n/, /g')
            echo "apt-get update: ${apt_failed_index:-an index} could not be fetched after $try tries; going on with the lists there are"
            return 0
        fi
        try=$((try + 1))
        sleep "$apt_pause"
    done
    apt_failed_index=""
}

# The packages named (as for apt-get install, PACKAGE or PACKAGE/SUITE) not installed yet.
apt_missing() {
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "${p%%/*}" 2>/dev/null | grep -q "install ok installed" || printf ' %s' "${p%%/*}"
    done
}

apt_install() {
    try=1
    release=""
    until apt_logged apt-get install -y $apt_options --no-install-recommends $release "$@"; do
        if grep -q -e "^E: Unable to correct problems" -e "^E: Unmet dependencies" \
            -e "^E: Version .* was not found" "$apt_log" && [ -z "$release" ]; then
            # Multi-arch packages need one version on every architecture; with one list
            # missing, the newest candidates of two architectures come from two suites.
            # The base release holds both sides alike.
            codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
            [ -n "$codename" ] || break
            release="-t $codename"
            echo "apt-get install: the candidates did not resolve; trying again with those of the base release ($release)"
        elif grep -q -e "^E: Failed to fetch" -e "^E: Unable to fetch" -e "Hash Sum mismatch" "$apt_log" &&
            [ "$try" -lt "$apt_tries" ]; then
            try=$((try + 1))
            sleep "$apt_pause"
        else
            break
        fi
    done
    missing=$(apt_missing "$@")
    [ -z "$missing" ] && return 0
    echo "could not install:$missing${apt_failed_index:+ (the index that failed: $apt_failed_index)}" >&2
    exit 1
}

apt_done() {
    rm -f "$apt_log" "$apt_log.rc"
}
