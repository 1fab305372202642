// The child side of corvel-scan: one process per module, so that a module
// that crashes or hangs takes only its own process down. The child tells the
// parent what it found in lines on standard output that start with
// kScanMarker, on a line of their own (plug-ins print there too). Main thread.
#pragma once

#include <string>

namespace corvel {

constexpr char kScanMarker[] = "@corvel-scan@ ";
// kScanMarker + kFormatLine + "vst3"|"vst2": the format, told before the scan starts.
constexpr char kFormatLine[] = "format ";
// kScanMarker + kResultLine + a JSON object: the module's description.
constexpr char kResultLine[] = "result ";
// kScanMarker + kFailedLine + text: why the module could not be scanned.
constexpr char kFailedLine[] = "failed ";

// Scans `path` as `format` ("vst3", "vst2" or "auto": told by its exports)
// with the fatal report armed and prints the marker lines. The exit code.
int runScanChild(const std::string& format, const std::string& path);

}  // namespace corvel
