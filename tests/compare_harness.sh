#!/usr/bin/env bash
# The real 64-bit DLL under wine64 and the native shared object, activated by
# layout_harness with the same scripted answers, must report the same thing.
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

native_harness="$top/build/native/substitute_host/layout_harness"
native_module="$top/build/native/shell/hlvk2_strandwell.so"
win_harness="$top/build/win64/substitute_host/layout_harness.exe"
win_module="$top/dist/hlvk2_strandwell_64.dll"

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
for s in "${scenarios[@]}"; do
  # "--withhold" takes the rest of its scenario as one service name.
  if [[ $s == --withhold* ]]; then args=(--withhold "${s#--withhold }"); else read -ra args <<<"$s"; fi
  native=$("$native_harness" "$native_module" "${args[@]}")
  windows=$(run_wine "$win_harness" "$win_module" "${args[@]}")
  if [[ "$native" == "$windows" ]]; then
    echo "same report: $s"
  else
    echo "DIFFERENT report: $s"
    diff <(echo "$native") <(echo "$windows") || true
    failed=1
  fi
done
exit $failed
