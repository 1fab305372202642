#!/bin/bash
# Fetches the VST 3 SDK from Debian's source package into $CORVEL_CACHE/vst3sdk and builds
# its sample plug-ins (our test fixtures) into $CORVEL_CACHE/vst3sdk-build.
# Run as root. Safe to run again: a finished fetch and a finished build are reused.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)

CACHE="${CORVEL_CACHE:-/var/cache/corvel}"
SUITE=trixie
PACKAGE=vst3sdk
VERSION='3.7.10.14+~4.13.3-4'
UPSTREAM="${VERSION%-*}"
SDK="$CACHE/vst3sdk"
BUILD="$CACHE/vst3sdk-build"
APT_DIR="$CACHE/apt-$SUITE"
MARKER="$SDK/.corvel-unpacked-$VERSION"

# Pinned so that a new revision of the source package fails here instead of silently
# changing the SDK under our tests. Order: component name ("" is the main tarball) and sum.
PINNED=(
  ":0c9fa7b578f8549d6ce6efeb427e9c7df8ca0e018bea13a523b78bb167663b81"
  "base:b9eb5c1e57ca2ef6b2560dd0e13822dd5a51e437b8f5a6c421b099d621d2bffb"
  "cmake:f4699e910a67e585d7d177b2a48f6aa43706b3f073c8e454615f094484374349"
  "pluginterfaces:fd426c6b26ef93fdfdc8aef7e9b836c1bf43f25b8a1ef4c0642a41fb9250ab8a"
  "public-sdk:ca1f70406b36f0763c799085c67deed5befc69514cc2b9cacb804512e95db335"
  "vstgui4:5a7673c7b22a66086a6749a0c7ff447fcfc4a10d2c2013d58ff1320be4e8456f"
)

log() { echo "[30-vst3sdk] $*"; }
die() { echo "[30-vst3sdk] error: $*" >&2; exit 1; }

# shellcheck source=scripts/setup.d/lib/vst3sdk-samples.bash
source "$HERE/lib/vst3sdk-samples.bash"

# The Debian archive URI this machine already uses (never a name of our own choosing).
machine_archive_uri() {
  local uri=""
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    uri=$(awk 'tolower($1) == "uris:" { for (i = 2; i <= NF; i++) print $i }' \
            /etc/apt/sources.list.d/debian.sources | grep -v -- '-security' | head -n1 || true)
  fi
  if [[ -z "$uri" && -f /etc/apt/sources.list ]]; then
    uri=$(awk '$1 == "deb" || $1 == "deb-src" {
                 for (i = 2; i <= NF; i++) if ($i ~ /^[a-z+]+:\/\//) { print $i; break } }' \
            /etc/apt/sources.list | grep -v -- '-security' | head -n1 || true)
  fi
  [[ -n "$uri" ]] || die "no Debian archive URI found in the machine's apt sources"
  echo "${uri%/}"
}

APT_OPTS=()
prepare_private_apt() {
  local uri="$1"
  mkdir -p "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial" "$APT_DIR/download"
  cat >"$APT_DIR/$PACKAGE.sources" <<EOF
Types: deb-src
URIs: $uri
Suites: $SUITE
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  APT_OPTS=(
    -o "Dir::Etc::sourcelist=$APT_DIR/$PACKAGE.sources"
    -o "Dir::Etc::sourceparts=-"
    -o "Dir::State::Lists=$APT_DIR/lists"
    -o "Dir::Cache=$APT_DIR/cache"
    -o "APT::Sandbox::User=root"
  )
}

# Prints "sha256 filename" for every file of the pinned version, from the verified index.
indexed_sums() {
  apt-cache "${APT_OPTS[@]}" showsrc "$PACKAGE" | awk -v ver="$VERSION" '
    /^Package:/ { inpkg = 0; insums = 0 }
    /^Version:/ { inpkg = ($2 == ver) }
    /^[A-Za-z0-9-]+:/ { insums = inpkg && ($1 == "Checksums-Sha256:"); next }
    insums && /^ / { print $1, $3 }'
}

file_matches() {
  [[ -f "$1" ]] && echo "$2  $1" | sha256sum --quiet -c - >/dev/null 2>&1
}

tarball_name() {
  local component="$1"
  if [[ -z "$component" ]]; then
    echo "${PACKAGE}_${UPSTREAM}.orig.tar.gz"
  else
    echo "${PACKAGE}_${UPSTREAM}.orig-${component}.tar.gz"
  fi
}

# Folder inside the SDK that a component's tarball fills (only public-sdk is renamed).
component_folder() {
  case "$1" in
    "") echo "." ;;
    public-sdk) echo "public.sdk" ;;
    *) echo "$1" ;;
  esac
}

fetch_and_unpack() {
  local uri sums entry component sum file indexed staging
  uri=$(machine_archive_uri)
  prepare_private_apt "$uri"
  log "updating private index for $SUITE from the machine's archive"
  apt-get "${APT_OPTS[@]}" -q update >/dev/null
  sums=$(indexed_sums)
  [[ -n "$sums" ]] || die "$PACKAGE $VERSION is not in the $SUITE index"

  staging="$CACHE/vst3sdk.staging"
  rm -rf "$staging"
  mkdir -p "$staging"
  for entry in "${PINNED[@]}"; do
    component="${entry%%:*}"
    sum="${entry#*:}"
    file=$(tarball_name "$component")
    indexed=$(awk -v f="$file" '$2 == f { print $1 }' <<<"$sums")
    [[ "$indexed" == "$sum" ]] ||
      die "$file: index says '${indexed:-missing}', pinned $sum; update the pins deliberately"
    if ! file_matches "$APT_DIR/download/$file" "$sum"; then
      log "downloading $file"
      /usr/lib/apt/apt-helper "${APT_OPTS[@]}" download-file \
        "$uri/pool/main/v/$PACKAGE/${file//+/%2B}" "$APT_DIR/download/$file" "SHA256:$sum"
    fi
    file_matches "$APT_DIR/download/$file" "$sum" || die "$file: checksum mismatch"
    mkdir -p "$staging/$(component_folder "$component")"
    tar -xzf "$APT_DIR/download/$file" --strip-components=1 \
      -C "$staging/$(component_folder "$component")"
  done
  rm -rf "$SDK"
  mv "$staging" "$SDK"
  touch "$MARKER"
  log "SDK unpacked into $SDK"
}

main() {
  [[ $EUID -eq 0 ]] || die "run as root"
  mkdir -p "$CACHE"
  if [[ -f "$MARKER" ]]; then
    log "SDK already unpacked in $SDK"
  else
    fetch_and_unpack
  fi
  if samples_built linux "$BUILD"; then
    log "samples already built in $BUILD"
  else
    build_samples linux "$BUILD" die -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
  fi
}

main "$@"
