# shellcheck shell=bash
# Shared by the project's scripts: their common opening, locations, builds
# and the Wine environment. Source it; it defines functions and variables
# only (a script calls script_open to take on the scripts' strict mode).

COLLECTION_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
COLLECTION_BUILD=${COLLECTION_BUILD:-$COLLECTION_ROOT/build}
export COLLECTION_WINEPREFIX=${COLLECTION_WINEPREFIX:-$COLLECTION_BUILD/wine}
# The 64-bit prefix (WINEARCH=win64): 64-bit programs in system32, 32-bit
# ones in syswow64, as on 64-bit Windows. The x64 build is tested there.
export COLLECTION_WINE64PREFIX=${COLLECTION_WINE64PREFIX:-$COLLECTION_BUILD/wine64}

# --- The scripts' common opening ----------------------------------------------
#
# Every script starts with a comment that says what it does, whose first
# line beginning "Usage:" is its usage line, then sources this file and
# calls script_open. Its own option loop hands -h/--help to script_help,
# anything it does not know to usage_error and every option that takes a
# value to option_value first.

# script_open: exit at the first failing command, unset variable or failing
# stage of a pipeline.
script_open() { set -euo pipefail; }

# script_help: prints the calling script's opening comment (what it does,
# its usage line and its options) and exits 0.
script_help() {
  sed -n '2,${/^#/!q;/^# shellcheck /d;s/^# \{0,1\}//p}' "$0"
  exit 0
}

# script_usage: the calling script's usage line.
script_usage() { sed -n 's/^# Usage: */usage: /p' "$0" | head -n 1; }

# usage_error [message]: prints the message and the usage line to standard
# error and exits 2.
usage_error() {
  [ $# -eq 0 ] || echo "$(basename "$0"): $*" >&2
  script_usage >&2
  echo "($(basename "$0") --help tells more)" >&2
  exit 2
}

# option_value <option> [its value...]: fails with the usage line unless the
# option is followed by a value (one not starting with --).
option_value() {
  if [ $# -lt 2 ] || [ -z "$2" ] || [[ $2 == --* ]]; then usage_error "$1 needs a value"; fi
}

# --- The Wine environment -----------------------------------------------------

# wine_env_for <prefix> <arch> command...: runs a command in that Wine prefix
# (WINEARCH win32 or win64) with no debug chatter, no display, and no offer
# to install Mono or Gecko.
wine_env_for() {
  local prefix=$1 arch=$2
  shift 2
  env -u DISPLAY WINEPREFIX="$prefix" WINEARCH="$arch" \
    WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" "$@"
}

# The Wine loader for a prefix of <win32|win64>. For win64 the 64-bit loader
# itself, so that 64-bit programs run even where 32-bit ones cannot (Debian's
# `wine` starts the 32-bit loader first, which hands a 64-bit program on).
wine_loader() {
  if [ "$1" = win64 ] && [ -x "${COLLECTION_WINE64_LOADER:=/usr/lib/wine/wine64}" ]; then
    echo "$COLLECTION_WINE64_LOADER"
  else
    echo wine
  fi
}

# wine_env command...: runs a command in the project's 32-bit prefix.
wine_env() { wine_env_for "$COLLECTION_WINEPREFIX" win32 "$@"; }

# wine_prefix_make <prefix> <arch>: makes a Wine prefix of that arch with
# wineboot unless it exists (holds system.reg). Safe when several processes
# try at once: they take turns on the lock file <prefix>.lock, and those
# that come later find the prefix made. Says so on standard error when it
# makes one (about half a minute), wineboot's output going to <prefix>.log;
# fails, showing that log, when wineboot made none.
wine_prefix_make() {
  local prefix=$1 arch=$2
  [ -f "$prefix/system.reg" ] && return 0
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      echo "wine: making the $arch prefix $prefix" >&2
      mkdir -p "$prefix"
      wine_env_for "$prefix" "$arch" "$(wine_loader "$arch")" wineboot.exe --init </dev/null >"$prefix.log" 2>&1 || true
      wine_env_for "$prefix" "$arch" wineserver -w </dev/null >>"$prefix.log" 2>&1 || true
      if [ ! -f "$prefix/system.reg" ]; then
        tail -n 20 "$prefix.log" >&2
        echo "wine: wineboot did not make the prefix $prefix (its output in $prefix.log)" >&2
        exit 1
      fi
    fi
  ) 9>"$prefix.lock"
}

# A persistent wineserver, with the prefix's background services already
# running, for the duration of a batch of Windows runs. Without it the first
# Windows process of the batch starts them, they inherit its output pipes,
# and whoever reads those pipes (ctest) waits until the services end.
# A server that is still running cannot be made persistent: one left by an
# earlier Windows process (the Windows build runs one) ends within seconds,
# so wait for it and start anew; one that stays is persistent already.
wine_server_start() {
  if ! wine_env wineserver -p </dev/null >/dev/null 2>&1; then
    wine_env timeout 10 wineserver -w </dev/null >/dev/null 2>&1 || true
    wine_env wineserver -p </dev/null >/dev/null 2>&1 || true
  fi
  wine_env wineboot </dev/null >/dev/null 2>&1 || true
}
wine_server_stop() { wine_env wineserver -k </dev/null >/dev/null 2>&1 || true; }

# The same as wine_env, wine_server_start and wine_server_stop for the
# 64-bit prefix.
wine64_env() { wine_env_for "$COLLECTION_WINE64PREFIX" win64 "$@"; }
wine64_server_start() {
  if ! wine64_env wineserver -p </dev/null >/dev/null 2>&1; then
    wine64_env timeout 10 wineserver -w </dev/null >/dev/null 2>&1 || true
    wine64_env wineserver -p </dev/null >/dev/null 2>&1 || true
  fi
  wine64_env "$(wine_loader win64)" wineboot.exe </dev/null >/dev/null 2>&1 || true
}
wine64_server_stop() { wine64_env wineserver -k </dev/null >/dev/null 2>&1 || true; }

# wine64_install_servers <x64 server> <x86 server>: copies the two builds of
# the variant collection server into the 64-bit prefix as
# C:\windows\system32\Collection.dll (64-bit) and
# C:\windows\syswow64\Collection.dll (32-bit) and registers each with the
# regsvr32 of its own architecture, both by the name
# C:\windows\system32\Collection.dll, which a 32-bit process finds in
# syswow64 (as on Windows). Wine keeps one HKCR\CLSID for both views, so
# both work side by side only under that one name.
wine64_install_servers() {
  local windows=$COLLECTION_WINE64PREFIX/drive_c/windows
  cp "$1" "$windows/system32/Collection.dll"
  cp "$2" "$windows/syswow64/Collection.dll"
  wine64_env "$(wine_loader win64)" regsvr32 /s 'C:\windows\system32\Collection.dll' &&
    wine64_env "$(wine_loader win64)" 'C:\windows\syswow64\regsvr32.exe' /s 'C:\windows\system32\Collection.dll'
}

# wine64_script_suites <host> <label>: runs the server's VBScript and JScript
# suites with the script host <host> (cscript, the 64-bit one, or
# 'C:\windows\syswow64\cscript.exe') in the 64-bit prefix; fails when one
# fails.
wine64_script_suites() {
  local host=$1 label=$2 script status=0
  local folder=$COLLECTION_ROOT/variant_collection/tests/scripts log=$COLLECTION_BUILD/win64/side_by_side.log
  for script in collection_test.vbs collection_test.js; do
    if cmake -DWINE_RUN="$COLLECTION_ROOT/scripts/wine64-run" -DCSCRIPT="$host" -DSCRIPT="$folder/$script" \
      -P "$folder/RunScript.cmake" >>"$log" 2>&1; then
      echo "  $label $script: $(grep -a -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1 | tr -d '\r')"
    else
      echo "  $label $script: FAILED (log in $log)"
      status=1
    fi
  done
  return $status
}

# wine64_side_by_side <x64 server> <x86 server>: both servers registered in
# the 64-bit prefix at once (wine64_install_servers), the script suites run
# by the 64-bit cscript against the 64-bit server and by the 32-bit cscript
# against the 32-bit one; then each server unregistered in turn, telling
# whether the other one still works, and registered again, after which both
# must work again. Last unregisters both and removes them from the prefix,
# whose registry the 64-bit tests expect free of the server (a later run).
wine64_side_by_side() {
  local x64=$1 x86=$2 status=0 loader
  loader=$(wine_loader win64)
  local host64=cscript host32='C:\windows\syswow64\cscript.exe'
  local reg64=regsvr32 reg32='C:\windows\syswow64\regsvr32.exe'
  local dll64='C:\windows\system32\Collection.dll' dll32='C:\windows\system32\Collection.dll'
  : >"$COLLECTION_BUILD/win64/side_by_side.log"
  wine64_install_servers "$x64" "$x86" || { echo "  registering both servers failed"; return 1; }
  wine64_script_suites "$host64" "64-bit cscript, 64-bit server:" || status=1
  wine64_script_suites "$host32" "32-bit cscript, 32-bit server:" || status=1
  local side
  for side in 32 64; do
    local reg=reg$side dll=dll$side other=$((96 - side))
    local host=host$other
    wine64_env "$loader" "${!reg}" /u /s "${!dll}"
    if wine64_script_suites "${!host}" "  after unregistering the $side-bit server, $other-bit:" >/dev/null; then
      echo "  unregistering the $side-bit server leaves the $other-bit one working"
    else
      echo "  unregistering the $side-bit server stops the $other-bit one as well (one HKCR\\CLSID for both views)"
    fi
    wine64_env "$loader" "${!reg}" /s "${!dll}" || status=1
    wine64_script_suites "$host64" "registered again, 64-bit:" || status=1
    wine64_script_suites "$host32" "registered again, 32-bit:" || status=1
  done
  wine64_env "$loader" "$reg32" /u /s "$dll32" && wine64_env "$loader" "$reg64" /u /s "$dll64" || status=1
  rm -f "$COLLECTION_WINE64PREFIX/drive_c/windows/system32/Collection.dll" \
    "$COLLECTION_WINE64PREFIX/drive_c/windows/syswow64/Collection.dll"
  return $status
}

# wine_runs_win32: whether this machine runs 32-bit Windows programs. Wine
# runs them through its 32-bit loader, a 32-bit Linux program, which a kernel
# without 32-bit (ia32) emulation refuses ("Exec format error"). Such a
# machine still builds the 32-bit tree whole (see build_win32) but runs none
# of its programs.
wine_runs_win32() { wine --version >/dev/null 2>&1; }

# check_format: fails, naming the places, when a tracked C or C++ source
# differs from what clang-format makes of it with the project's .clang-format
# (fuzz corpora and anything generated are not tracked as such sources).
check_format() {
  git -C "$COLLECTION_ROOT" ls-files -z -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' ':!:*/corpus/*' |
    (cd "$COLLECTION_ROOT" && xargs -0 "${CLANG_FORMAT:-clang-format}" --dry-run --Werror)
}

# --- Builds -------------------------------------------------------------------

# configure_and_build <build dir> [cmake options...]: the project's own
# development builds, where a compiler warning fails the build. Configures
# the tree with Ninja (CMake's output goes to <build dir>/configure.log,
# shown when configuring fails) and builds it, Ninja showing its progress.
configure_and_build() {
  local dir=$1
  shift
  echo "build: $dir"
  mkdir -p "$dir"
  if ! cmake -S "$COLLECTION_ROOT" -B "$dir" -G Ninja -DCOLLECTION_WERROR=ON "$@" >"$dir/configure.log" 2>&1; then
    cat "$dir/configure.log" >&2
    echo "build: configuring $dir failed" >&2
    return 1
  fi
  cmake --build "$dir"
}

# The development builds. Each takes [-B <build dir>] (default: its folder
# under $COLLECTION_BUILD) and further cmake options, which come after its
# own and so win over them (-DCMAKE_BUILD_TYPE=Release, say).

# build_tree <default dir> [-B <build dir>] [options...]: sets the caller's
# build_dir and build_options from its arguments.
build_tree() {
  build_dir=$1
  shift
  if [ "${1:-}" = -B ]; then
    [ $# -ge 2 ] || { echo "build: -B needs a folder" >&2; return 2; }
    build_dir=$2
    shift 2
  fi
  build_options=("$@")
}
build_native() {
  local build_dir build_options
  build_tree "$COLLECTION_BUILD/native" "$@"
  configure_and_build "$build_dir" -DCMAKE_BUILD_TYPE=Debug "${build_options[@]}"
}
build_asan() {
  local build_dir build_options
  build_tree "$COLLECTION_BUILD/asan" "$@"
  configure_and_build "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DCOLLECTION_SANITIZE=ON "${build_options[@]}"
}
# 32-bit Windows with MinGW-w64; its programs run under scripts/wine-run.
# The server's build tool is a 64-bit program even here (see
# variant_collection/tools/), so a machine that runs no 32-bit programs
# builds this tree whole without running any of it.
build_win32() {
  local build_dir build_options
  build_tree "$COLLECTION_BUILD/win32" "$@"
  configure_and_build "$build_dir" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_TOOLCHAIN_FILE="$COLLECTION_ROOT/cmake/toolchain-mingw32.cmake" "${build_options[@]}"
}
# 64-bit Windows (x86_64) with MinGW-w64; its programs run under
# scripts/wine64-run in the 64-bit prefix.
build_win64() {
  local build_dir build_options
  build_tree "$COLLECTION_BUILD/win64" "$@"
  configure_and_build "$build_dir" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_TOOLCHAIN_FILE="$COLLECTION_ROOT/cmake/toolchain-mingw64.cmake" "${build_options[@]}"
}

# The value library's tests under ThreadSanitizer, in a tree of their own
# (only their program is built). Run only the thread tests there
# (run_tsan_tests): death tests fork, which ThreadSanitizer does not support.
build_tsan() {
  local build_dir build_options
  build_tree "$COLLECTION_BUILD/tsan" "$@"
  echo "build: $build_dir"
  mkdir -p "$build_dir"
  cmake -S "$COLLECTION_ROOT" -B "$build_dir" -G Ninja -DCOLLECTION_WERROR=ON -DCMAKE_BUILD_TYPE=Debug \
    -DCOLLECTION_TSAN=ON -DCOLLECTION_BUILD_EXAMPLES=OFF "${build_options[@]}" >"$build_dir/configure.log" 2>&1 ||
    { cat "$build_dir/configure.log" >&2; return 1; }
  cmake --build "$build_dir" --target collection_tests
}
# Many threads reading one shared tree; any report fails the run.
run_tsan_tests() {
  TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" \
    "$COLLECTION_BUILD/tsan/bin/collection_tests" --gtest_filter='ValueThreadTest.*' --gtest_brief=1
}


# run_memcheck <build dir>: runs every test program of a native build under
# valgrind's memcheck; fails on any memory error and on any lost block. The
# test programs' own operator new (testing/src/FailingNew.cpp) stays in
# place, so that its failures still reach the libraries.
run_memcheck() {
  local program status=0
  for program in "$1"/bin/*_tests; do
    echo "memcheck: $(basename "$program")"
    timeout 900 valgrind -q --error-exitcode=99 --leak-check=full \
      --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
      --soname-synonyms=somalloc=nouserintercepts "$program" --gtest_brief=1 || status=1
  done
  return $status
}

# --- Fuzzing ------------------------------------------------------------------

# The libFuzzer targets of the value library (collection/fuzz/) and of the
# JSON library (collection_json/fuzz/), built with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer in their own tree.
COLLECTION_FUZZERS=(string_number key_path container_ops merge json)
build_fuzz() {
  configure_and_build "$COLLECTION_BUILD/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCOLLECTION_FUZZ=ON \
    -DCOLLECTION_BUILD_TESTS=OFF -DCOLLECTION_BUILD_EXAMPLES=OFF "$@"
}

# run_fuzzers <seconds per target> [target...]: runs each target (all of them
# by default) for that long, starting from its seed corpus in the repository
# and the corpus it grew in earlier runs (kept in the build tree), and prints
# how many inputs it ran. Stops at the first failure, whose input libFuzzer
# keeps in $COLLECTION_BUILD/fuzz/artifacts/.
run_fuzzers() {
  local seconds=$1 name
  shift
  local targets=("$@")
  [ ${#targets[@]} -gt 0 ] || targets=("${COLLECTION_FUZZERS[@]}")
  local dir=$COLLECTION_BUILD/fuzz
  mkdir -p "$dir/artifacts"
  for name in "${targets[@]}"; do
    local folder=$COLLECTION_ROOT/collection/fuzz
    [ -d "$folder/corpus/$name" ] || folder=$COLLECTION_ROOT/collection_json/fuzz
    local seeds=$folder/corpus/$name grown=$dir/corpus/$name log=$dir/$name.log
    local options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/artifacts/$name-")
    [ -f "$folder/$name.dict" ] && options+=(-dict="$folder/$name.dict")
    mkdir -p "$grown"
    if ! "$dir/bin/${name}_fuzzer" "${options[@]}" "$grown" "$seeds" >"$log" 2>&1; then
      tail -n 40 "$log"
      echo "fuzz $name: FAILED (whole log in $log)"
      return 1
    fi
    echo "fuzz $name: $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") inputs in $seconds s, corpus $(ls "$grown" | wc -l) grown + $(ls "$seeds" | wc -l) seeds"
  done
}
