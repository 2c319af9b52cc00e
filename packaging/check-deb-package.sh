#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a scratch root and checks what a user would get:
# the files and their places and modes, the metadata, the udev rule, the desktop entries and a working executable.
# usage: check-deb-package.sh BUILD_DIR SCRATCH_DIR VERSION QT_MAJOR
set -euo pipefail
build=$1 scratch=$2 version=$3 qt=$4

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch"
if ! cpack -G DEB -B "$scratch/out" --config "$build/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    echo "FAIL: cpack could not build the package"
    exit 1
fi
deb=$(echo "$scratch"/out/parlink_"$version"_*.deb)
[ -f "$deb" ] || { ls -l "$scratch/out"; echo "FAIL: no parlink_${version}_*.deb"; exit 1; }
echo "package: $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
expect_field() {
    [ "$(field "$1")" = "$2" ] || fail "$1 is '$(field "$1")', expected '$2'"
}
expect_field Package parlink
expect_field Version "$version"
expect_field Maintainer "Parlink developers <dev@parlink.example>"
expect_field Section comm
depends=$(field Depends)
echo "Depends: $depends"
[[ "$depends" == *libhidapi-hidraw0* ]] || fail "Depends lacks libhidapi-hidraw0"
for library in core gui widgets network; do
    [[ "$depends" =~ libqt${qt}${library}[0-9a-z]* ]] || fail "Depends lacks Qt ${qt}'s ${library} library"
done
[ -n "$(field Description)" ] || fail "no Description"

# Exactly these files, with these modes, owned by root. Anything else is a stray install rule.
expected="-rwxr-xr-x root/root ./usr/bin/parlink
-rw-r--r-- root/root ./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/parlink/libparlink-window.so
-rw-r--r-- root/root ./usr/lib/udev/rules.d/70-parlink.rules
-rw-r--r-- root/root ./usr/share/applications/parlink.desktop
-rw-r--r-- root/root ./usr/share/doc/parlink/README.md
-rw-r--r-- root/root ./usr/share/doc/parlink/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/parlink/copyright
-rw-r--r-- root/root ./usr/share/man/man1/parlink.1.gz
-rw-r--r-- root/root ./usr/share/parlink/parlink-autostart.desktop"
for size in 16 32 48 64 128 256 512; do
    expected+=$'\n'"-rw-r--r-- root/root ./usr/share/icons/hicolor/${size}x${size}/apps/parlink.png"
done
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort)
if [ "$actual" != "$(sort <<<"$expected")" ]; then
    fail "the package's files differ from the expected list:"
    diff <(sort <<<"$expected") <(echo "$actual") || true
fi

root=$scratch/root
dpkg -x "$deb" "$root"

# The package's README is the user guide, and the guide's list of what the package installs names every file.
guide=$(cd "$(dirname "$0")/.." && pwd)/docs/user-guide.md
cmp -s "$guide" "$root/usr/share/doc/parlink/README.md" || fail "the package's README.md is not docs/user-guide.md"
while read -r path; do
    path=${path#.}
    path=${path/\/$(dpkg-architecture -qDEB_HOST_MULTIARCH)\//\/<architecture>\/}
    path=$(sed -E 's#/[0-9]+x[0-9]+/#/NxN/#' <<<"$path")
    grep -qF "| \`$path\` |" "$guide" || fail "the user guide's list of what the package installs lacks $path"
done < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort -u)

# Each hicolor icon is an RGBA PNG of its folder's size.
for size in 16 32 48 64 128 256 512; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/parlink.png
    [ -f "$icon" ] || continue
    read -r width height depth colour < <(od -An -tu1 -j16 -N10 "$icon" |
        awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8, $9, $10 }')
    [ "$width x $height, $depth bit, colour type $colour" = "$size x $size, 8 bit, colour type 6" ] ||
        fail "$icon is $width x $height, $depth bit, colour type $colour"
done

rule=$root/usr/lib/udev/rules.d/70-parlink.rules
if [ -f "$rule" ]; then
    # Every line is a comment or a rule of comma-separated KEY[{attribute}]OPERATOR"value" pairs.
    pair='[A-Z_]+(\{[^}]+\})?(==|!=|=|\+=|-=|:=)"[^"]*"'
    if grep -vE '^\s*(#.*)?$' "$rule" | grep -vqE "^$pair(, *$pair)*$"; then
        fail "the udev rule has a malformed line"
    fi
    matching=$(grep -vE '^\s*(#.*)?$' "$rule")
    [ "$(wc -l <<<"$matching")" -eq 1 ] || fail "the udev rule should be one line"
    for key in 'SUBSYSTEM=="hidraw"' 'ATTRS{idVendor}=="0d8c"' 'ATTRS{idProduct}=="0013"' 'TAG+="uaccess"'; do
        [[ "$matching" == *"$key"* ]] || fail "the udev rule lacks $key"
    done
    # udev's own parser, on a private copy of /etc/udev/rules.d so the machine's rules stay untouched. The device
    # does not exist: udevadm reads every rule file first and then stops, so no real device is touched.
    if command -v udevadm >/dev/null && unshare --mount true 2>/dev/null; then
        status=0
        # shellcheck disable=SC2016 # $1 belongs to the inner shell
        unshare --mount --propagation private sh -c \
            'mount -t tmpfs parlink-rules /etc/udev/rules.d && cp "$1" /etc/udev/rules.d/ || exit 77
             exec udevadm test --action=add /sys/devices/virtual/parlink-no-such-device' sh "$rule" \
            >"$scratch/udevadm.log" 2>&1 || status=$?
        if [ "$status" -eq 77 ]; then
            echo "no private /etc/udev/rules.d could be mounted: the rule was checked as text only"
        elif ! grep -q 'Reading rules file: /etc/udev/rules.d/70-parlink.rules' "$scratch/udevadm.log"; then
            fail "udevadm did not read the rule: $(tail -n 5 "$scratch/udevadm.log")"
        elif grep '/etc/udev/rules.d/70-parlink.rules:' "$scratch/udevadm.log"; then
            fail "udevadm finds fault with the rule"
        fi
    else
        echo "udevadm or a private mount namespace is not available: the rule was checked as text only"
    fi
fi

# desktop_key FILE KEY: the value of KEY in FILE's [Desktop Entry] group.
desktop_key() { awk -F= -v key="$2" '/^\[/ { group = $0 } group == "[Desktop Entry]" && $1 == key { print substr($0, length(key) + 2) }' "$1"; }
for entry in "$root/usr/share/applications/parlink.desktop" "$root/usr/share/parlink/parlink-autostart.desktop"; do
    [ -f "$entry" ] || continue
    name=$(basename "$entry")
    for pair in Type=Application Name=Parlink Exec=parlink Icon=parlink; do
        [ "$(desktop_key "$entry" "${pair%%=*}")" = "${pair#*=}" ] || fail "$name lacks $pair"
    done
    [ "$(desktop_key "$entry" Terminal)" != true ] || fail "$name asks for a terminal"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$entry" || fail "$name does not validate"
    fi
done
[ -n "$(desktop_key "$root/usr/share/applications/parlink.desktop" Categories)" ] || fail "the menu entry has no Categories"
[ ! -e "$root/etc/xdg/autostart" ] || fail "the package starts Parlink for every user"

# The unpacked executable runs on the system's own libraries.
if output=$("$root/usr/bin/parlink" --version 2>&1); then
    [ "$output" = "Parlink $version" ] || fail "parlink --version printed '$output'"
else
    fail "parlink --version failed: $output"
fi

# Window mode lives in the package's private library; without a display it is the library that says so.
output=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/parlink" 2>&1) || true
[[ "$output" == "parlink: cannot open a display:"* ]] || fail "window mode did not start from the package: $output"

# Debian's own package checker, every tag in force.
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" || fail "lintian finds fault with the package"
else
    echo "lintian is not installed: the package was not checked against Debian's policy"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package checks passed"
