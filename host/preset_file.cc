#include "host/preset_file.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "host/host_log.h"

namespace corvel {
namespace {

namespace fs = std::filesystem;

// Status first, so that nothing but a regular file is ever opened. kApplied
// here means fit to be read.
PresetFileStatus checkFile(const std::string& path, uintmax_t& size) {
  std::error_code failed;
  const fs::file_status status = fs::status(path, failed);
  if (failed || !fs::exists(status)) return PresetFileStatus::kOpenFailed;
  if (!fs::is_regular_file(status)) return PresetFileStatus::kNotRegular;
  size = fs::file_size(path, failed);
  if (failed) return PresetFileStatus::kOpenFailed;
  if (size > kMaxPresetFileBytes) return PresetFileStatus::kTooLarge;
  return size == 0 ? PresetFileStatus::kEmpty : PresetFileStatus::kApplied;
}

PresetFileStatus readWhole(const std::string& path, uintmax_t size, std::string& text) {
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return PresetFileStatus::kOpenFailed;
  text.resize(static_cast<size_t>(size));
  return std::fread(text.data(), 1, text.size(), file.get()) == text.size() ? PresetFileStatus::kApplied
                                                                            : PresetFileStatus::kReadFailed;
}

void report(PresetFileStatus status, const std::string& path, uintmax_t size) {
  const char* p = path.c_str();
  const auto bytes = static_cast<unsigned long long>(size);
  switch (status) {
    case PresetFileStatus::kApplied:
      hostLine("[corvel] preset restored from %s (%lluB)\n", p, bytes);
      break;
    case PresetFileStatus::kEmpty:
      break;
    case PresetFileStatus::kOpenFailed:
      hostLine("[corvel] preset file open failed: %s\n", p);
      break;
    case PresetFileStatus::kNotRegular:
      hostLine("[corvel] preset file not a regular file: %s\n", p);
      break;
    case PresetFileStatus::kTooLarge:
      hostLine("[corvel] preset file too large: %s (%lluB, at most %lluB)\n", p, bytes,
               static_cast<unsigned long long>(kMaxPresetFileBytes));
      break;
    case PresetFileStatus::kReadFailed:
      hostLine("[corvel] preset file read failed: %s\n", p);
      break;
  }
}

PresetFileStatus load(INativeInstrument& instrument, const std::string& path, uintmax_t& size) {
  PresetFileStatus status = checkFile(path, size);
  if (status != PresetFileStatus::kApplied) return status;
  std::string text;
  status = readWhole(path, size, text);
  // The adapter reports a text it rejects itself.
  if (status == PresetFileStatus::kApplied) instrument.loadSerializedState(text);
  return status;
}

}  // namespace

PresetFileStatus applyPresetFile(INativeInstrument& instrument, const std::string& path) {
  uintmax_t size = 0;
  const PresetFileStatus status = load(instrument, path, size);
  report(status, path, size);
  return status;
}

}  // namespace corvel
