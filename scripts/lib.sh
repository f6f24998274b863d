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
wine_server_start() {
  wine_env wineserver -p </dev/null >/dev/null 2>&1
  wine_env wineboot </dev/null >/dev/null 2>&1 || true
}
wine_server_stop() { wine_env wineserver -k </dev/null >/dev/null 2>&1 || true; }

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
