#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the native build (GCC, warnings as errors): all tests, window and spreadsheet included;
#   2. the column and the CLI at -O0, -O2 and -O3 with GCC, Clang and mingw-w64, each
#      checked bit for bit against the independent reference;
#   3. Clang with the address and undefined-behaviour sanitizers: all native tests;
#   4. the Windows build (mingw-w64), its tests run under Wine in a fresh prefix,
#      the Windows packages (the ZIP; the MSI read back, installed, upgraded and
#      removed under Wine: packaging/windows/tests/msi_test.py), a screenshot
#      of veltrano.exe, and the workbench's keystroke to repaint, printed without a bound;
#   5. the fuzz targets from the committed seed corpora: the Calculate command for about
#      a minute, the x-y data and component table readers for half that;
#   6. the benchmark of the checked calculation against the bare steps, and
#      of design mode per stage against it; a 100-stage NRTL column against its aim;
#      a rating against design runs of the same N; the workbench window's keystroke to
#      repaint, printed without a bound;
#   7. the Debian package: made, checked with lintian, installed with apt into a minimal
#      Debian 12 root without LibreOffice, run there (CLI, window under Xvfb), removed
#      (scripts/package-test.sh; root and the package archive).
# Stages can be picked by name: scripts/test.sh [native matrix sanitize windows fuzz bench package]
# Not among the defaults: `fresh`, the README's two commands on a minimal
# Debian 12 built in a temporary folder (root, the package archive and long
# minutes: scripts/fresh-debian.sh); run it before a release.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
jobs="${VELTRANO_JOBS:-2}"
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(native matrix sanitize windows fuzz bench package)

groups=()
for s in "${stages[@]}"; do
  case "$s" in
    native | matrix | sanitize | windows | fuzz | bench) groups+=(test) ;;
    package) groups+=(test package fresh) ;;
    fresh) groups+=(fresh) ;;
    *) echo "unknown stage: $s" >&2; exit 2 ;;
  esac
done
scripts/install-deps.sh "${groups[@]}"

stage() { printf '\n==== %s (%s)\n' "$1" "$(date -u +%H:%M:%S)"; }

# Configures, builds and tests one preset of CMakePresets.json.
preset() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j"$jobs"
  ctest --preset "$1"
}

native() {
  stage "native build and tests"
  preset default
}

matrix() {
  local cxx level dir compiler
  # mingw: the Windows build, its tests and the reference check under Wine.
  export VELTRANO_WINEPREFIX="${VELTRANO_WINEPREFIX:-$root/build/wine-prefix}"
  for cxx in g++ clang++ mingw; do
    for level in -O0 -O2 -O3; do
      stage "column and CLI: $cxx $level"
      dir="build/matrix-${cxx%++}$level"
      if [ "$cxx" = mingw ]; then
        compiler=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake")
      else
        compiler=(-DCMAKE_CXX_COMPILER="$cxx")
      fi
      cmake -S . -B "$dir" "${compiler[@]}" -DCMAKE_BUILD_TYPE=None \
        -DCMAKE_CXX_FLAGS="$level" -DVELTRANO_WERROR=ON -DVELTRANO_GUI=OFF >/dev/null
      cmake --build "$dir" -j"$jobs" --target calc_tests app_tests veltrano-cli
      ctest --test-dir "$dir" --output-on-failure -R '^(calc_tests|app_tests|cli_reference)$'
    done
  done
}

# Without llvm-symbolizer a sanitizer report is bare addresses and the leak
# suppressions, which name functions, never match.
need_symbolizer() {
  command -v llvm-symbolizer >/dev/null ||
    { echo "llvm-symbolizer is not on PATH (package llvm)" >&2; exit 1; }
}

sanitize() {
  stage "address and undefined-behaviour sanitizers"
  need_symbolizer
  preset sanitize
}

windows() {
  stage "Windows build under Wine"
  # Fresh prefixes for every run: nothing left over from an earlier one.
  export VELTRANO_WINEPREFIX="$root/build/wine-prefix"
  rm -rf "$VELTRANO_WINEPREFIX" "$root/build/wine-prefix-x11"
  # The unit tests, then veltrano.exe driven from outside (Wine's null
  # display driver): presses, errors, layout at 96 and 144 DPI, keyboard,
  # closing, the German locale in both programs; and the resources.
  preset mingw
  stage "Windows packages: the ZIP and the MSI"
  (cd build/mingw && cpack)
  local listing
  listing=$(python3 -m zipfile -l build/mingw/veltrano-1.0.0-win64.zip)
  echo "$listing"
  for f in veltrano.exe veltrano-cli.exe README.txt LICENSE.txt; do
    grep -q "veltrano-1.0.0-win64/$f " <<<"$listing" || { echo "the package lacks $f" >&2; exit 1; }
  done
  # The MSI in the tests' prefix, in one Wine session (scripts/wine-session).
  scripts/wine-session python3 packaging/windows/tests/msi_test.py build/mingw
  stage "Windows window on Xvfb (X11 driver), for a person to look at"
  unset VELTRANO_WINEPREFIX
  scripts/screenshot.sh --windows
  # The workbench: a keystroke to the window repainted, figures to read
  # (Wine's GDI+ paints at twice the size and averages down), no bound.
  stage "Windows workbench: a keystroke to the repainted window"
  scripts/measure-workbench-windows.sh
}

fuzz() {
  stage "fuzzing the Calculate command for ${VELTRANO_FUZZ_SECONDS:-60} s, the data files for half that"
  need_symbolizer
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j"$jobs" --target command_fuzz data_files_fuzz
  # The seed corpora stay as committed; what the runs find goes to the build tree.
  local work="build/fuzz/corpus" files="build/fuzz/data-files-corpus"
  rm -rf "$work" "$files" && mkdir -p "$work" "$files" build/fuzz/artifacts
  build/fuzz/fuzz/command_fuzz -max_total_time="${VELTRANO_FUZZ_SECONDS:-60}" -max_len=512 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ "$work" fuzz/corpus
  build/fuzz/fuzz/data_files_fuzz -max_total_time="$(( ${VELTRANO_FUZZ_SECONDS:-60} / 2 ))" -max_len=4096 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ "$files" fuzz/data-files-corpus
}

# A figure a benchmark printed against its bound: passed when it is a number
# no greater than the bound, FAILED (status 1) when it is more or missing.
#   within FIGURE BOUND WHAT
within() {
  if [ -z "$1" ] || ! awk -v r="$1" -v b="$2" 'BEGIN { exit !(r <= b) }'; then
    echo "benchmark FAILED: $3 ${1:-?}, bound $2" >&2
    return 1
  fi
  echo "benchmark passed: $3 $1, within $2"
}

bench() {
  stage "benchmark: checked calculation against the bare steps, design mode per stage"
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j"$jobs" --target column_bench
  # Medians of interleaved repetitions, so a busy moment on a shared machine
  # weighs on neither side alone; the program prints "ratio R (bound B)".
  local out="build/bench/column_bench.txt" ratio bound
  build/bench/calc/column_bench --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true | tee "$out"
  ratio=$(sed -n 's/.*ratio \([0-9.]*\) (bound [0-9.]*).*/\1/p' "$out")
  bound=$(sed -n 's/.*ratio [0-9.]* (bound \([0-9.]*\)).*/\1/p' "$out")
  if [ -z "$ratio" ] || [ -z "$bound" ]; then
    echo "benchmark FAILED: no checked/bare ratio printed" >&2
    return 1
  fi
  if ! awk -v r="$ratio" -v b="$bound" 'BEGIN { exit !(r <= b) }'; then
    echo "benchmark FAILED: checked calculation costs $ratio x the bare steps, bound $bound x" >&2
    return 1
  fi
  echo "benchmark passed: ratio $ratio within the bound $bound"
  # Design mode: its cost per stage against the checked calculation's per plate.
  within "$(sed -n 's/.*ratio per stage \([0-9.]*\) (aim 3).*/\1/p' "$out")" 3 \
    "design mode's cost per stage, in checked plates" || return 1
  # Real mixtures: a 100-stage NRTL column within its aim of 2 ms.
  cmake --build --preset bench -j"$jobs" --target mixture_bench
  local mixture_out="build/bench/mixture_bench.txt"
  build/bench/calc/mixture_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true | tee "$mixture_out"
  within "$(sed -n 's/^NRTL per 100 stages \([0-9.]*\) ms.*/\1/p' "$mixture_out")" 2 "100 NRTL stages, in ms" || return 1
  # Rating: a column of N = 20 and of N = 200 within 30 design runs of the same N.
  cmake --build --preset bench -j"$jobs" --target rating_bench
  local rating_out="build/bench/rating_bench.txt"
  build/bench/calc/rating_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true | tee "$rating_out"
  within "$(sed -n 's/^rating N = [0-9]*: [0-9.]* us per column, \([0-9.]*\) design runs.*/\1/p' "$rating_out" |
    sort -g | tail -n 1)" 30 "the costlier rating, in design runs of its N" || return 1
  # The workbench: what a keystroke computes for a 100-stage NRTL column within a frame.
  cmake --build --preset bench -j"$jobs" --target workbench_bench
  local workbench_out="build/bench/workbench_bench.txt"
  build/bench/command/workbench_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true | tee "$workbench_out"
  within "$(sed -n 's/.*workbench keystroke: .* NRTL [0-9]* stages \([0-9.]*\) ms.*/\1/p' "$workbench_out")" 16 \
    "a keystroke's column and picture, 100 NRTL stages, in ms" || return 1
  # The workbench window on a display: a keystroke to the diagram repainted,
  # for the first example and a 100-stage NRTL column. Figures to read, not
  # held to a bound; the window is the default preset's Qt build.
  cmake --preset default >/dev/null
  cmake --build --preset default -j"$jobs" --target veltrano-workbench-timing
  scripts/measure-workbench.sh build/default
}

package() {
  stage "the Debian package, installed on a minimal Debian 12"
  scripts/package-test.sh
}

fresh() {
  stage "the README's commands on a minimal Debian 12"
  scripts/fresh-debian.sh
}

started=$(date +%s)
for s in "${stages[@]}"; do
  case "$s" in
    native | matrix | sanitize | windows | fuzz | bench | package | fresh) "$s" ;;
    *) echo "unknown stage: $s" >&2; exit 2 ;;
  esac
done
printf '\nall stages passed in %d s\n' $(($(date +%s) - started))
