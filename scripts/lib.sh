# Shared by the project's scripts: locations, builds and the Wine environment.
# Source it; it defines functions and variables only.

COLLECTION_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
COLLECTION_BUILD=${COLLECTION_BUILD:-$COLLECTION_ROOT/build}
export COLLECTION_WINEPREFIX=${COLLECTION_WINEPREFIX:-$COLLECTION_BUILD/wine}

# Runs a command with the project's Wine environment: a 32-bit prefix, no
# debug chatter, no display, and no offer to install Mono or Gecko.
wine_env() {
  env -u DISPLAY WINEPREFIX="$COLLECTION_WINEPREFIX" WINEARCH=win32 \
    WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" "$@"
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

# The 64-bit prefix (WINEARCH=win64): 64-bit programs in system32, 32-bit
# ones in syswow64, as on 64-bit Windows. The x64 build is tested there.
export COLLECTION_WINE64PREFIX=${COLLECTION_WINE64PREFIX:-$COLLECTION_BUILD/wine64}

# wine_prefix_env <prefix> <win32|win64> command...: runs a command with the
# project's Wine settings in that prefix.
wine_prefix_env() {
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

# wine_prefix_make <prefix> <win32|win64>: makes the prefix with wineboot
# unless it exists already. Fails when wineboot did not make it.
wine_prefix_make() {
  local prefix=$1 arch=$2
  [ -f "$prefix/system.reg" ] && return 0
  echo "making the $arch Wine prefix $prefix"
  mkdir -p "$prefix"
  wine_prefix_env "$prefix" "$arch" "$(wine_loader "$arch")" wineboot.exe --init </dev/null >/dev/null 2>&1 || true
  wine_prefix_env "$prefix" "$arch" wineserver -w </dev/null >/dev/null 2>&1 || true
  [ -f "$prefix/system.reg" ] || { echo "wineboot did not make the prefix $prefix" >&2; return 1; }
}

# The same as wine_env, wine_server_start and wine_server_stop for the
# 64-bit prefix.
wine64_env() { wine_prefix_env "$COLLECTION_WINE64PREFIX" win64 "$@"; }
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
# must work again. Leaves both registered.
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
  return $status
}

# configure_and_build <build dir> [cmake options...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$COLLECTION_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir"
}

build_native() { configure_and_build "$COLLECTION_BUILD/native" -DCMAKE_BUILD_TYPE=Debug "$@"; }
build_asan() { configure_and_build "$COLLECTION_BUILD/asan" -DCMAKE_BUILD_TYPE=Debug -DCOLLECTION_SANITIZE=ON "$@"; }
build_win32() {
  configure_and_build "$COLLECTION_BUILD/win32" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_TOOLCHAIN_FILE="$COLLECTION_ROOT/cmake/toolchain-mingw32.cmake" "$@"
}

build_win64() {
  configure_and_build "$COLLECTION_BUILD/win64" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_TOOLCHAIN_FILE="$COLLECTION_ROOT/cmake/toolchain-mingw64.cmake" "$@"
}

# run_memcheck <build dir>: runs every test program of a native build under
# valgrind's memcheck; fails on any memory error and on any lost block. The
# test programs' own operator new (tests/support/FailingNew.cpp) stays in
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

# The libFuzzer targets of the value library (collection/fuzz/), built with
# clang under AddressSanitizer and UndefinedBehaviorSanitizer in their own tree.
COLLECTION_FUZZERS=(string_number key_path container_ops merge)
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
    local seeds=$COLLECTION_ROOT/collection/fuzz/corpus/$name grown=$dir/corpus/$name log=$dir/$name.log
    local options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/artifacts/$name-")
    [ -f "$COLLECTION_ROOT/collection/fuzz/$name.dict" ] && options+=(-dict="$COLLECTION_ROOT/collection/fuzz/$name.dict")
    mkdir -p "$grown"
    if ! "$dir/bin/${name}_fuzzer" "${options[@]}" "$grown" "$seeds" >"$log" 2>&1; then
      tail -n 40 "$log"
      echo "fuzz $name: FAILED (whole log in $log)"
      return 1
    fi
    echo "fuzz $name: $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") inputs in $seconds s, corpus $(ls "$grown" | wc -l) grown + $(ls "$seeds" | wc -l) seeds"
  done
}
