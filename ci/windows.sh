#!/usr/bin/env bash
# The Windows build: cross compiles vantorell.exe and the unit tests that
# build for Windows with MinGW-w64, runs them under Wine, and runs the Linux
# build's end-to-end tests against vantorell.exe.
#
#   ci/windows.sh [linux-build-dir]     (default: build, as made by .ci/run)
#
# Exit status: 0 when everything passed, 1 when a test failed or the build
# failed, 3 when the Windows tool chain or Wine is missing and cannot be
# installed, when Wine did not start in time, or when the script was stopped:
# the Windows suite could not run, which says nothing about the program.
set -uo pipefail
cd "$(dirname "$0")/.."

linux_build=$(realpath "${1:-build}")
windows_build=$PWD/build-windows
wine_start_timeout=${VANTORELL_WINE_START_TIMEOUT:-120}
suite_timeout=${VANTORELL_WINDOWS_SUITE_TIMEOUT:-420}

cannot_run() {
  echo "windows: $*; the Windows suite did not run" >&2
  exit 3
}

wine_loader() {
  command -v wine64 2>/dev/null || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; }
}

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [ -z "$(wine_loader)" ]; then
  if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
    cannot_run "g++-mingw-w64-x86-64-posix or wine64 is missing and cannot be installed here"
  fi
  echo "windows: installing g++-mingw-w64-x86-64-posix and wine64"
  export DEBIAN_FRONTEND=noninteractive
  { timeout 180 apt-get update -qq &&
    timeout 360 apt-get install -y -qq --no-install-recommends g++-mingw-w64-x86-64-posix wine64; } >&2 ||
    cannot_run "apt-get could not install the tool chain"
fi
wine=$(wine_loader)
[ -n "$wine" ] || cannot_run "no wine64 loader found"
wineserver=$(command -v wineserver64 2>/dev/null || command -v wineserver 2>/dev/null || echo /usr/lib/wine/wineserver64)

# A private prefix, so that nothing depends on the user's Wine set-up, and no
# Wine diagnostics on the program's standard error.
export WINEPREFIX=$windows_build/wine-prefix
export WINEDEBUG=-all
# No Mono, no Gecko, and no debugger started for a crash (the death tests).
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

# The Linux end-to-end test programs drive vantorell.exe.
[ -x "$linux_build/tests/extraction_test" ] ||
  { echo "windows: no Linux test programs in $linux_build/tests (build the Linux tree first)" >&2; exit 1; }

echo "windows: cross build"
cmake -S . -B "$windows_build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" \
  -DVANTORELL_HOST_TESTS="$linux_build/tests" >/dev/null || exit 1
cmake --build "$windows_build" -j2 || exit 1
(cd "$windows_build" && cpack -G ZIP >/dev/null) || exit 1

# Start Wine once: the first start creates the prefix, which can take a while
# on a cold machine. A persistent server then makes each run of the program
# cheap. A start that does not finish in time is a machine problem, not a
# test failure.
echo "windows: starting Wine"
mkdir -p "$WINEPREFIX"
timeout "$wine_start_timeout" "$wine" wineboot --init >/dev/null 2>&1 ||
  cannot_run "Wine did not start within ${wine_start_timeout}s"
# It stays for 30 seconds after its last client, and goes at once when this
# script ends.
"$wineserver" -p30 2>/dev/null
trap '"$wineserver" -k 2>/dev/null' EXIT
trap 'exit 3' INT TERM
probe=$(printf '' | timeout "$wine_start_timeout" "$wine" "$windows_build/vantorell.exe" 2>/dev/null | head -c 9)
[ -n "$probe" ] || cannot_run "vantorell.exe did not start under Wine within ${wine_start_timeout}s"

echo "windows: running the suite under Wine"
start=$(date +%s)
# Each test has its own time limit (tests/CMakeLists.txt). Wine now and then
# stalls while starting a process on a loaded machine, so a test that runs
# out of time is run once more; a second time-out, and every wrong result,
# counts as failed. The limit on the whole suite only guards against a Wine
# that stops answering altogether.
timeout "$suite_timeout" ctest --test-dir "$windows_build" --output-on-failure -j2 --repeat after-timeout:2
status=$?
echo "windows: suite took $(( $(date +%s) - start ))s"
[ "$status" -ne 124 ] || cannot_run "the suite did not finish within ${suite_timeout}s"
[ "$status" -eq 0 ] || exit 1
