#!/bin/sh
# Kelvane run by an ordinary user. Wine lets root write over read-only files,
# so the read-only paths of staging are only real for a user without that power.
#   kelvane_unprivileged_test.sh <Kelvane.exe> <work folder>
# The user's Wine prefix stays in the work folder between runs.
set -u
exe=$1
work=$2
if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
    echo "needs root and setpriv to run as another user: skipped"
    exit 77
fi
user=nobody
group=$(id -gn "$user")
# A build tree in a folder the user cannot enter (a home folder of mode 700):
# work in a folder of its own under /tmp with a copy of the program instead.
if ! setpriv --reuid="$user" --regid="$group" --clear-groups test -r "$exe"; then
    work=$(mktemp -d /tmp/kelvane-unprivileged.XXXXXX)
    chmod 755 "$work"
    cp "$exe" "$work/Kelvane.exe"
    chmod 755 "$work/Kelvane.exe"
    exe="$work/Kelvane.exe"
    trap 'rm -rf "$work"' EXIT
    if ! setpriv --reuid="$user" --regid="$group" --clear-groups test -r "$exe"; then
        echo "$user cannot read $exe: skipped"
        exit 77
    fi
fi
failures=0

mkdir -p "$work"
rm -rf "$work/package"
mkdir -p "$work/package"
chown "$user:$group" "$work" "$work/package"

as_user() {
    setpriv --reuid="$user" --regid="$group" --clear-groups \
        env -i HOME="$work" PATH=/usr/bin:/bin WINEPREFIX="$work/prefix" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}
check() {  # check <description> <command...>
    what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
registered() {
    as_user wine reg query \
        "HKLM\\System\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\$1" \
        >/dev/null 2>&1
}
not_registered() { ! registered "$1"; }
install() {  # install <config>; prints the exit code
    (cd "$work/package" && as_user wine "$exe" /s "$1" >/dev/null 2>&1)
    echo $?
}
config() {  # config <driver name> <file>
    printf '#driver name\n%s\n#platform\nWindows x64\n#driver file\n%s\n#dependent file\n%s\n' "$1" "$2" "$2"
}

# Makes the prefix and its driver directory on first use.
as_user wine reg query 'HKCU\Software' >/dev/null 2>&1
drivers="$work/prefix/drive_c/windows/system32/spool/drivers/x64"
as_user mkdir -p "$drivers"
stamp=$(date +%s)$$

# A read-only file of the user's own is made writable and replaced.
name="Kelvane Read Only $stamp"
file="kvro$stamp.txt"
echo "new content" >"$work/package/$file"
config "$name" "$file" >"$work/package/readonly.cfg"
echo "old content" >"$drivers/$file"
chown "$user:$group" "$drivers/$file" "$work/package/"*
chmod 444 "$drivers/$file"
code=$(install readonly.cfg)
check "read-only target: exit code 1 (was $code)" [ "$code" = 1 ]
check "read-only target replaced" [ "$(cat "$drivers/$file")" = "new content" ]
check "read-only target writable now" [ -n "$(find "$drivers/$file" -perm -u+w)" ]
check "read-only target: driver registered" registered "$name"

# A read-only file the user may not change stops the run before registration.
name="Kelvane Locked $stamp"
file="kvlocked$stamp.txt"
echo "new content" >"$work/package/$file"
config "$name" "$file" >"$work/package/locked.cfg"
chown "$user:$group" "$work/package/"*
echo "old content" >"$drivers/$file"
chmod 444 "$drivers/$file"  # owned by root
code=$(install locked.cfg)
check "locked target: exit code 2 (was $code)" [ "$code" = 2 ]
check "locked target left as it was" [ "$(cat "$drivers/$file")" = "old content" ]
check "locked target: nothing registered" not_registered "$name"
rm -f "$drivers/$file"

as_user wineserver -k 2>/dev/null
[ "$failures" = 0 ]
