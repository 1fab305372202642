#!/bin/bash
# Cross-builds the VST 3 SDK's sample plug-ins (our Windows test fixtures) with MinGW-w64
# into $CORVEL_CACHE/vst3sdk-build-windows, when the Windows toolchain is installed
# (`./scripts/setup windows`); otherwise does nothing. Needs the SDK that 30-vst3sdk.sh
# unpacks. Run as root. Safe to run again: a finished build is reused.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
REPO=$(cd "$HERE/../.." && pwd)
CACHE="${CORVEL_CACHE:-/var/cache/corvel}"
SDK="$CACHE/vst3sdk"
BUILD="$CACHE/vst3sdk-build-windows"
COMPILER=x86_64-w64-mingw32-g++-posix

log() { echo "[40-vst3sdk-windows] $*"; }
die() { echo "[40-vst3sdk-windows] error: $*" >&2; exit 1; }

# shellcheck source=scripts/setup.d/lib/vst3sdk-samples.bash
source "$HERE/lib/vst3sdk-samples.bash"

main() {
  if ! command -v "$COMPILER" >/dev/null; then
    log "no $COMPILER (./scripts/setup windows installs it); Windows samples not built"
    return 0
  fi
  [[ $EUID -eq 0 ]] || die "run as root"
  compgen -G "$SDK/.corvel-unpacked-*" >/dev/null || die "no SDK in $SDK; run 30-vst3sdk.sh"
  if samples_built windows "$BUILD"; then
    log "samples already built in $BUILD"
  else
    build_samples windows "$BUILD" skip \
      -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-w64.cmake" \
      -DCMAKE_PROJECT_vstsdk_INCLUDE="$HERE/lib/vst3sdk-mingw.cmake" \
      -DSMTG_CREATE_BUNDLE_FOR_WINDOWS=ON
  fi
  report_skipped "$BUILD"
}

main "$@"
