# Builds the VST 3 SDK's sample plug-ins (our test fixtures) for one platform. Sourced by
# the setup steps that need it; expects SDK (the unpacked SDK), log and die.

VST3SDK_SAMPLES=(mda-vst3 noteexpressionsynth again)

# Path of a sample's binary inside its bundle: platform ("linux" or "windows"), build
# folder, sample name.
sample_binary() {
  case "$1" in
    linux) echo "$2/VST3/Release/$3.vst3/Contents/x86_64-linux/$3.so" ;;
    windows) echo "$2/VST3/Release/$3.vst3/Contents/x86_64-win/$3.vst3" ;;
    *) die "unknown platform $1" ;;
  esac
}

# Samples a build could not produce, one "name<TAB>reason" a line, so later runs reuse
# the outcome instead of failing the same way again.
skipped_list() { echo "$1/corvel-skipped-samples"; }

sample_skipped() {
  [[ -f "$(skipped_list "$1")" ]] && cut -f1 "$(skipped_list "$1")" | grep -qx -- "$2"
}

# True when every sample of the build folder ($2) is built or known to be unbuildable.
samples_built() {
  local platform="$1" build="$2" name
  for name in "${VST3SDK_SAMPLES[@]}"; do
    [[ -f "$(sample_binary "$platform" "$build" "$name")" ]] ||
      sample_skipped "$build" "$name" || return 1
  done
}

# The SDK switches VSTGUI's standalone library on unconditionally, which drags in gtkmm;
# no sample plug-in links it, so the cached copy is patched to leave it off.
disable_vstgui_standalone() {
  local module="$SDK/cmake/modules/SMTG_VstGuiSupport.cmake"
  [[ -f "$module" ]] || return 0
  sed -i -E 's/set\(VSTGUI_STANDALONE ON/set(VSTGUI_STANDALONE OFF/' "$module"
}

configure_samples() {
  local build="$1"
  shift
  disable_vstgui_standalone
  cmake -S "$SDK" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DVSTGUI_STANDALONE=OFF \
    -DSMTG_ENABLE_VST3_HOSTING_EXAMPLES=OFF \
    -DSMTG_RUN_VST_VALIDATOR=OFF \
    -DSMTG_CREATE_PLUGIN_LINK=OFF \
    -DSMTG_CREATE_MODULE_INFO=OFF "$@" >/dev/null
}

# First compiler or linker error of a failed build log, as one line.
first_error() {
  local failed error
  failed=$(grep -m1 '^FAILED: ' "$1" | cut -d' ' -f2 || true)
  error=$(grep -m1 -E 'error:|: undefined reference' "$1" || true)
  error="${error//"$SDK/"/}"
  echo "${failed:-build failed}: ${error:-see $1}"
}

# Builds one sample; its output goes to a log in the build folder, shown on failure.
build_sample() {
  local build="$1" name="$2" build_log="$1/corvel-$2.log"
  log "building $name"
  if cmake --build "$build" -j2 --target "$name" >"$build_log" 2>&1; then
    return 0
  fi
  grep -E -m20 '^FAILED: |error:' "$build_log" >&2 || tail -n20 "$build_log" >&2
  return 1
}

# Configures and builds every sample not yet built. Arguments: platform, build folder,
# "die" or "skip" (what a sample that fails to build does), extra configure arguments.
build_samples() {
  local platform="$1" build="$2" on_failure="$3" name reason
  shift 3
  log "configuring SDK samples for $platform in $build"
  configure_samples "$build" "$@"
  # One at a time, so the plug-in without an editor (the quickest) is usable first.
  for name in "${VST3SDK_SAMPLES[@]}"; do
    [[ -f "$(sample_binary "$platform" "$build" "$name")" ]] && continue
    sample_skipped "$build" "$name" && continue
    build_sample "$build" "$name" && continue
    [[ "$on_failure" == skip ]] || die "$name failed to build for $platform"
    reason=$(first_error "$build/corvel-$name.log")
    printf '%s\t%s\n' "$name" "$reason" >>"$(skipped_list "$build")"
    log "skipped $name for $platform: $reason"
  done
  samples_built "$platform" "$build" || die "sample plug-ins missing after the build"
  log "samples built into $build/VST3/Release"
}

# Logs the samples a build folder lacks and why.
report_skipped() {
  local name reason
  [[ -f "$(skipped_list "$1")" ]] || return 0
  while IFS=$'\t' read -r name reason; do
    log "not built: $name ($reason)"
  done <"$(skipped_list "$1")"
}
