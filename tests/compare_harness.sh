#!/usr/bin/env bash
# Both Windows modules against the builds of the same sources that run
# natively, activated by layout_harness with the same scripted answers:
#
#   - the 64-bit DLL under wine64 and the native shared object: the same report;
#   - the 32-bit DLL through pe32_loader and the Linux i386 shared object, both
#     under qemu-i386 in the same i386 substitute host: the same report;
#   - the 32-bit DLL and the native shared object: the same report but for the
#     keys digests. The i386 host evaluates the scene with the i386 C library,
#     whose sin, cos and atan2 differ from the x86-64 one's in the last bit
#     for some arguments; keys that pass those values through (a world
#     position, an aimed pitch) then differ in that bit. Differing digests are
#     listed, not failed; the comparison above holds the 32-bit DLL to the bit.
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

native_harness="$top/build/native/substitute_host/layout_harness"
native_module="$top/build/native/shell/hlvk2_strandwell.so"
win_harness="$top/build/win64/substitute_host/layout_harness.exe"
win_module="$top/dist/hlvk2_strandwell_64.dll"
i386_harness="$top/build/linux-i386/substitute_host/layout_harness"
i386_module="$top/build/linux-i386/shell/hlvk2_strandwell.so"
pe32_loader="$top/build/linux-i386/pe32_loader/pe32_loader"
win32_module="$top/dist/hlvk2_strandwell_32.dll"

scenarios=(
  "--answer cancel"
  "--answer world"
  "--answer local"
  "--answer default --default-choice 1"
  "--version 4"
  "--withhold LW Scene Info 9"
  "--refuse-panel"
  "--activations 2 --answer world"
)

failed=0

# same LABEL SCENARIO REPORT-A REPORT-B: the two reports must be equal.
same() {
  if [[ "$3" == "$4" ]]; then
    echo "same report ($1): $2"
  else
    echo "DIFFERENT report ($1): $2"
    diff <(echo "$3") <(echo "$4") || true
    failed=1
  fi
}

for s in "${scenarios[@]}"; do
  # "--withhold" takes the rest of its scenario as one service name.
  if [[ $s == --withhold* ]]; then args=(--withhold "${s#--withhold }"); else read -ra args <<<"$s"; fi
  native=$("$native_harness" "$native_module" "${args[@]}")
  win64=$(run_wine "$win_harness" "$win_module" "${args[@]}")
  i386=$(qemu-i386 "$i386_harness" "$i386_module" "${args[@]}")
  win32=$(qemu-i386 "$pe32_loader" "$win32_module" "${args[@]}")

  same "64-bit DLL under wine64, native" "$s" "$native" "$win64"
  same "32-bit DLL through pe32_loader, Linux i386" "$s" "$i386" "$win32"
  same "32-bit DLL through pe32_loader, native, but the keys digests" "$s" \
    "$(grep -v '^  keys digest ' <<<"$native")" "$(grep -v '^  keys digest ' <<<"$win32")"
  if [[ "$native" != "$win32" ]]; then
    echo "  keys digests of the 32-bit DLL that differ from the native ones (the i386 host's math):"
    diff <(grep '^  keys digest ' <<<"$native") <(grep '^  keys digest ' <<<"$win32") | grep '^[<>]' | sed 's/^/  /' || true
  fi
done
exit $failed
