// The preset file named by --presetfile, applied once at start-up. Main thread.
#pragma once

#include <cstdint>
#include <string>

#include "instrument/native_instrument.h"

namespace corvel {

// Far above any real preset text, small enough to read before serving.
inline constexpr uintmax_t kMaxPresetFileBytes = uintmax_t{64} << 20;

enum class PresetFileStatus {
  kApplied,     // the whole text went to the instrument
  kEmpty,       // nothing to apply
  kOpenFailed,  // missing or unreadable
  kNotRegular,  // a directory, a device, a FIFO...: never opened
  kTooLarge,    // above kMaxPresetFileBytes
  kReadFailed,  // fewer bytes than the size said
};

// Hands the file's whole text to the instrument. Only a regular file is
// opened, so a FIFO without a writer cannot stall start-up; every outcome
// but an empty file prints one "[corvel] preset ..." line. Never fatal.
PresetFileStatus applyPresetFile(INativeInstrument& instrument, const std::string& path);

}  // namespace corvel
