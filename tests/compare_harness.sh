#!/usr/bin/env bash
# Both Windows modules and the builds of the same sources that run natively,
# activated by layout_harness (pe32_loader for the 32-bit DLL) with the same
# scripted answers, must print the same report, keys digests included: the
# native shared object, the 64-bit DLL under wine64, the Linux i386 shared
# object and the 32-bit DLL under qemu-i386. The substitute host evaluates its
# scene with arithmetic of its own (portable_math), so every host answers the
# same bits and any difference is the module's.
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
  same "Linux i386 module, native" "$s" "$native" "$i386"
  same "32-bit DLL through pe32_loader, native" "$s" "$native" "$win32"
done
exit $failed
