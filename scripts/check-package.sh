#!/usr/bin/env bash
# Checks a built korvane .deb with its own metadata: the name, the dependencies, the exact file list,
# and that the programs it holds run (unpacked into a temporary directory, nothing installed).
# With --install it also installs the package with apt-get, runs the installed programs and removes
# the package again (CI does this on its throw-away machine).
set -euo pipefail
install=0
[ "${1:-}" = "--install" ] && { install=1; shift; }
deb=${1:?usage: check-package.sh [--install] korvane_VERSION_ARCH.deb}
fail() { echo "check-package: $*" >&2; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = korvane ] || fail "package name is '$(field Package)'"
depends=$(field Depends)
names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for needed in fonts-wine libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libmosquitto1; do
    grep -qxF "$needed" <<<"$names" || fail "Depends lacks $needed: $depends"
done

expected="./usr/bin/korvane
./usr/bin/korvane-board
./usr/bin/korvane-cli
./usr/share/applications/korvane.desktop
./usr/share/icons/hicolor/16x16/apps/korvane.png
./usr/share/icons/hicolor/32x32/apps/korvane.png
./usr/share/man/man1/korvane-board.1.gz
./usr/share/man/man1/korvane-cli.1.gz
./usr/share/man/man1/korvane.1.gz"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[ "$files" = "$expected" ] || fail "unexpected file list:"$'\n'"$files"

# The programs as they come out of the package.
run_all() { # bin directory
    "$1/korvane-cli" --version | grep -qx "korvane-cli [0-9.]*" || fail "$1/korvane-cli --version"
    "$1/korvane-board" --help | grep -q '^Usage: korvane-board' || fail "$1/korvane-board --help"
    "$1/korvane" --version | grep -qx "korvane [0-9.]*" || fail "$1/korvane --version"
    ! ldd "$1/korvane" "$1/korvane-cli" | grep -q 'not found' || fail "$1: a library is missing"
}
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
run_all "$unpacked/usr/bin"
desktop="$unpacked/usr/share/applications/korvane.desktop"
grep -qx 'Exec=korvane' "$desktop" && grep -qx 'Icon=korvane' "$desktop" || fail "desktop entry"
zcat "$unpacked/usr/share/man/man1/korvane-cli.1.gz" | grep -q '^\.TH KORVANE\\-CLI 1' || fail "man page"

if [ $install -eq 1 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$(realpath "$deb")" >/dev/null
    run_all /usr/bin
    [ -f /usr/share/man/man1/korvane-cli.1.gz ] || fail "the man page is not installed"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -qq korvane >/dev/null
fi
echo "check-package: $(basename "$deb") is sound ($(field Version); Depends: $depends)"
