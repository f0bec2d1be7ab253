#!/bin/sh
# Kelvane run by an ordinary user. Wine lets root write over read-only files,
# so the read-only paths of staging are only real for a user without that power.
# Both ways a file is placed are tried: copied as it is, and expanded.
#   kelvane_unprivileged_test.sh <Kelvane.exe> <work folder> <sample package>
# The user's Wine prefix stays in the work folder between runs.
set -u
exe=$1
work=$2
sample=$3
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
config() {  # config <driver name> <file in the package> <its name in the driver directory>
    printf '#driver name\n%s\n#platform\nWindows x64\n#driver file\n%s\n#dependent file\n%s\n' "$1" "$3" "$2"
}

# Makes the prefix and its driver directory on first use.
as_user wine reg query 'HKCU\Software' >/dev/null 2>&1
drivers="$work/prefix/drive_c/windows/system32/spool/drivers/x64"
as_user mkdir -p "$drivers"
stamp=$(date +%s)$$

for kind in plain compressed; do
    # The package's file, its name in the driver directory, and the bytes it must have there.
    if [ "$kind" = plain ]; then
        file="kvro$stamp.txt"
        target=$file
        echo "new content" >"$work/package/$file"
        expected="$work/package/$file"
    else
        file="kvro$stamp.DL_"
        target="kvro$stamp.DLL"
        cp "$sample/VSMPLRES.DL_" "$work/package/$file"
        expected="$sample/compress/VSMPLRES.DLL"
    fi

    # A read-only file of the user's own is made writable and replaced.
    name="Kelvane Read Only $kind $stamp"
    config "$name" "$file" "$target" >"$work/package/readonly.cfg"
    echo "old content" >"$drivers/$target"
    chown "$user:$group" "$drivers/$target" "$work/package/"*
    chmod 444 "$drivers/$target"
    code=$(install readonly.cfg)
    check "$kind read-only target: exit code 1 (was $code)" [ "$code" = 1 ]
    check "$kind read-only target replaced" cmp -s "$drivers/$target" "$expected"
    check "$kind read-only target writable now" [ -n "$(find "$drivers/$target" -perm -u+w)" ]
    check "$kind read-only target: driver registered" registered "$name"

    # A read-only file the user may not change stops the run before registration.
    name="Kelvane Locked $kind $stamp"
    config "$name" "$file" "$target" >"$work/package/locked.cfg"
    chown "$user:$group" "$work/package/"*
    rm -f "$drivers/$target"
    echo "old content" >"$drivers/$target"
    chmod 444 "$drivers/$target"  # owned by root
    code=$(install locked.cfg)
    check "$kind locked target: exit code 2 (was $code)" [ "$code" = 2 ]
    check "$kind locked target left as it was" [ "$(cat "$drivers/$target")" = "old content" ]
    check "$kind locked target: nothing registered" not_registered "$name"
    rm -f "$drivers/$target"
done

as_user wineserver -k 2>/dev/null
[ "$failures" = 0 ]
