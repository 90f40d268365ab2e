#!/usr/bin/env bash
# Rebuilds the Mach-O fixtures of the crash-reporting tests from tests/crash/fixtures/macho/src
# and records what the LLVM tools read from each one (load commands, fat headers, unwind info,
# eh_frame), which the tests compare their own parsing with. Needs clang-14, lld-14 and llvm-14
# (scripts/deps.sh installs them). Run from anywhere; the outputs are committed.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=tests/crash/fixtures/macho
src=$dir/src
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cflags=(-O1 -fno-stack-protector)
ld_arm64=(ld64.lld-14 -arch arm64 -platform_version macos 11.0 12.0)

# Enough frameless and frame-based functions, alternating so that neighbours never share an
# encoding, to fill more than one compressed second-level page.
python3 - "$work/many.c" <<'PY'
import sys
with open(sys.argv[1], "w") as out:
    out.write("int many_1200(int x);\n")
    for i in range(1199, -1, -1):
        if i % 2:
            out.write(f"__attribute__((noinline)) int many_{i}(int x) {{ return x + {i}; }}\n")
        else:
            out.write(f"__attribute__((noinline)) int many_{i}(int x) {{ return many_{i + 1}(x) * 3; }}\n")
    out.write("__attribute__((noinline)) int many_1200(int x) { return x; }\n")
PY

# arm64: a dylib, and an executable that links it and carries a DWARF-only function. Lazy binding
# needs the binder from a system library; a stand-in stays in the work folder.
clang-14 -target arm64-apple-macos11 -c "$src/binder.s" -o "$work/binder.o"
"${ld_arm64[@]}" -dylib -install_name /usr/lib/libSystem.B.dylib -o "$work/libSystem.dylib" "$work/binder.o"
clang-14 -target arm64-apple-macos11 "${cflags[@]}" -c "$src/library.c" -o "$work/library.o"
"${ld_arm64[@]}" -dylib -install_name @rpath/libfixture.dylib -o "$dir/libfixture.dylib" "$work/library.o"
clang-14 -target arm64-apple-macos11 "${cflags[@]}" -c "$src/main.c" -o "$work/main.o"
clang-14 -target arm64-apple-macos11 "${cflags[@]}" -c "$work/many.c" -o "$work/many.o"
clang-14 -target arm64-apple-macos11 -c "$src/dwarf_frame.s" -o "$work/dwarf_frame.o"
"${ld_arm64[@]}" -e _main -rpath @executable_path -o "$dir/arm64_exec" \
  "$work/main.o" "$work/many.o" "$work/dwarf_frame.o" "$dir/libfixture.dylib" "$work/libSystem.dylib"

# lld 14 writes the DWARF-mode encoding without its FDE offset and leaves the FDE's start address
# unrelocated; put in both (the fixture has one FDE, for the one DWARF-mode function).
python3 - "$dir/arm64_exec" <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
ncmds = struct.unpack_from("<I", data, 16)[0]
sections, at = {}, 32
for _ in range(ncmds):
    cmd, size = struct.unpack_from("<II", data, at)
    if cmd == 0x19:
        nsects = struct.unpack_from("<I", data, at + 64)[0]
        for s in range(nsects):
            base = at + 72 + 80 * s
            name = data[base:base + 16].rstrip(b"\0").decode()
            addr, sz, off = struct.unpack_from("<QQI", data, base + 32)
            sections[name] = (addr, sz, off)
    at += size
ui_addr, ui_size, ui = sections["__unwind_info"]
eh_addr, eh_size, eh = sections["__eh_frame"]
cie_len = struct.unpack_from("<I", data, eh)[0]
fde = 4 + cie_len  # offset of the only FDE in __eh_frame
common_off, common_count = struct.unpack_from("<II", data, ui + 4)
func = None
index_off, index_count = struct.unpack_from("<II", data, ui + 20)
for i in range(index_count - 1):
    fn_off, page = struct.unpack_from("<II", data, ui + index_off + 12 * i)[:2]
    kind, e_off, e_count, enc_off, enc_count = struct.unpack_from("<IHHHH", data, ui + page)
    for j in range(e_count):
        entry = struct.unpack_from("<I", data, ui + page + e_off + 4 * j)[0]
        idx = entry >> 24
        where = ui + common_off + 4 * idx if idx < common_count else ui + page + enc_off + 4 * (idx - common_count)
        enc = struct.unpack_from("<I", data, where)[0]
        if enc & 0x0F000000 == 0x03000000:
            struct.pack_into("<I", data, where, 0x03000000 | fde)
            func = 0x100000000 + fn_off + (entry & 0xFFFFFF)
assert func is not None, "no DWARF-mode function found"
field = eh_addr + fde + 8
struct.pack_into("<i", data, eh + fde + 8, func - field)
open(path, "wb").write(bytes(data))
PY

# x86_64 and the fat file of both.
clang-14 -target x86_64-apple-macos11 "${cflags[@]}" -c "$src/x86_64.c" -o "$work/x86_64.o"
ld64.lld-14 -arch x86_64 -platform_version macos 11.0 12.0 -e _main -o "$work/x86_64_exec" "$work/x86_64.o"
llvm-lipo-14 -create "$dir/arm64_exec" "$work/x86_64_exec" -output "$dir/fat_exec"

# Headers no linker writes here: 32-bit armv7s with encryption, arm64e with both version commands.
yaml2obj-14 "$src/armv7s.yaml" -o "$dir/armv7s_header"
yaml2obj-14 "$src/arm64e.yaml" -o "$dir/arm64e_header"

# What the tools see.
for f in arm64_exec libfixture.dylib armv7s_header arm64e_header; do
  llvm-otool-14 -l "$dir/$f" | tail -n +2 > "$dir/$f.otool"
done
llvm-otool-14 -f "$dir/fat_exec" > "$dir/fat_exec.fat"
for arch in x86_64 arm64; do
  llvm-lipo-14 -thin $arch "$dir/fat_exec" -output "$work/thin_$arch"
  llvm-otool-14 -l "$work/thin_$arch" | tail -n +2 > "$dir/fat_exec.$arch.otool"
done
llvm-objdump-14 --macho --unwind-info "$dir/arm64_exec" | tail -n +2 > "$dir/arm64_exec.unwind"
llvm-objdump-14 --dwarf=frames "$dir/arm64_exec" | tail -n +3 > "$dir/arm64_exec.frames"
ls -l "$dir"
