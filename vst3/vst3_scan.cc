#include "vst3/vst3_scan.h"

#include "public.sdk/source/vst/hosting/module.h"
#include "vst3/instrument_class.h"
#include "vst3/vst3_instrument.h"

namespace corvel {

namespace {

// The rate and block size the host prepares an instrument with.
constexpr double kScanSampleRate = 48000;
constexpr int32_t kScanBlockSize = 256;

Vst3ClassInfo describeClass(const VST3::Hosting::ClassInfo& info) {
  return {info.name(),    info.category(),   info.subCategoriesString(), info.vendor(),
          info.version(), info.sdkVersion(), info.ID().toString()};
}

// Lists the classes and picks the hosted one. The module is released on return, so
// that hosting loads it afresh the way the host does.
ScanStatus listClasses(const std::string& path, Vst3ModuleInfo& info, std::string& error) {
  auto module = VST3::Hosting::Module::create(path, error);
  if (!module) {
    if (error.empty()) error = "not a VST 3 module";
    return ScanStatus::kLoadFailed;
  }
  const auto infos = module->getFactory().classInfos();
  for (const auto& classInfo : infos) info.classes.push_back(describeClass(classInfo));
  info.hostedClass = chooseInstrumentClass(infos);
  return ScanStatus::kScanned;
}

}  // namespace

ScanStatus scanVst3Module(const std::string& path, Vst3ModuleInfo& info, std::string& error) {
  if (listClasses(path, info, error) != ScanStatus::kScanned) return ScanStatus::kLoadFailed;
  if (!info.hostedClass) return ScanStatus::kScanned;
  Vst3Instrument instrument;
  instrument.prepare(kScanSampleRate, kScanBlockSize);
  if (!instrument.loadPlugin(path, kScanSampleRate)) {
    error = "the instrument class " + info.classes[*info.hostedClass].name + " could not be hosted";
    return ScanStatus::kLoadFailed;
  }
  instrument.describe(info.hosted);
  return ScanStatus::kScanned;
}

}  // namespace corvel
