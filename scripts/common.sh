# Sourced by the scripts: where things are, and how to configure and build one preset.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine64=/usr/lib/wine/wine64
export WINEDEBUG=-all

build_preset() {
  cmake --preset "$1" -S "$top" >/dev/null
  cmake --build --preset "$1" -j "$(nproc)"
}

run_wine() {
  WINEPREFIX="$top/build/win64/wineprefix" "$wine64" "$@"
}
