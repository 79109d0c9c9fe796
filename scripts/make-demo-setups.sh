#!/bin/bash
# Stages the sample product for both architectures and packs the demo setups:
#   build/demo/Setup.exe      32-bit stub and programs: what ships
#   build/demo/Setup-x64.exe  the 64-bit twin, which runs under wine64 here
set -euo pipefail
ORDAVIN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ORDAVIN_ROOT"
: "${ORDAVIN_BUILD:=build}"
case "$ORDAVIN_BUILD" in /*) ;; *) ORDAVIN_BUILD="$ORDAVIN_ROOT/$ORDAVIN_BUILD" ;; esac
mksetup="$ORDAVIN_BUILD/host/tools/mksetup"
demo="$ORDAVIN_BUILD/demo"
# Fixed file times, so the same sources give the same setups.
stamp="2004-06-09 12:00:00"

stage() {  # tree product-folder
    local tree=$1 product=$2
    rm -rf "$product"
    mkdir -p "$product"
    for f in ZUNO.exe UnInst.exe ZUNORES.DLL; do
        cp "$ORDAVIN_BUILD/$tree/sample/$f" "$product/$f"
    done
    cp sample/files/* "$product/"
    TZ=UTC touch -d "$stamp" "$product"/*
}

mkdir -p "$demo"
stage win32 "$demo/product-x86"
stage win64 "$demo/product-x64"
"$mksetup" build --stub "$ORDAVIN_BUILD/win32/setup-stub.exe" -o "$demo/Setup.exe" "$demo/product-x86"
"$mksetup" build --stub "$ORDAVIN_BUILD/win64/setup-stub.exe" -o "$demo/Setup-x64.exe" "$demo/product-x64"
