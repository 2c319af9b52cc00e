#!/usr/bin/env bash
# Compiles the Windows resource script the way a MinGW build does, then reads the object back to make sure it
# carries the icon group IDI_ICON1 with all six sizes.
# usage: check-windows-resource.sh WINDRES RC_FILE SCRATCH_DIR
set -euo pipefail
windres=$1 rc=$2 scratch=$3

mkdir -p "$scratch"
"$windres" -I "$(dirname "$rc")" -O coff -i "$rc" -o "$scratch/parlink-rc.o"
"$windres" -i "$scratch/parlink-rc.o" -O rc -o "$scratch/parlink-rc-readback.rc"

group=$(sed -n '/^"IDI_ICON1" 14/,/^END/p' "$scratch/parlink-rc-readback.rc")
if [ -z "$group" ]; then
    echo "FAIL: no icon group IDI_ICON1 in the compiled resource"
    exit 1
fi
# Entries read "\020\020\000\000" for 16 px (octal width and height); 256 px is written as 0.
sizes=$(grep -o '"\\[0-7]*\\[0-7]*\\000\\000"' <<<"$group" | cut -d "\\" -f2 | while read -r octal; do
    echo $((8#$octal == 0 ? 256 : 8#$octal))
done | tr '\n' ' ')
if [ "$sizes" != "16 32 48 64 128 256 " ]; then
    echo "FAIL: IDI_ICON1 holds the sizes '$sizes', expected 16 32 48 64 128 256"
    exit 1
fi
echo "IDI_ICON1 holds $sizes"
