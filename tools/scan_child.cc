// Main thread throughout: the child's only thread that calls the module.
#include "tools/scan_child.h"

#include <algorithm>
#include <cstdio>

#include "instrument/plugin_info.h"
#include "platform/fatal_report.h"
#include "platform/library.h"
#include "tools/scan_json.h"
#include "vst2/vst2_scan.h"
#include "vst3/vst3_scan.h"

namespace corvel {
namespace {

// Flushed at once: if the module crashes next, the parent still sees it.
void markerLine(const char* kind, const std::string& text) {
  std::fflush(stdout);
  std::printf("\n%s%s%s\n", kScanMarker, kind, text.c_str());
  std::fflush(stdout);
}

// "vst3", "vst2", or empty with `error` set when the library exports neither
// entry point. Loading runs the library's code, which is why only a child does it.
std::string formatByExports(const std::string& path, std::string& error) {
  LibraryHandle library = loadLibrary(path);
  if (!library) {
    error = "cannot load the library (error " + std::to_string(lastLoadError()) + ")";
    return {};
  }
  std::string format;
  if (findSymbol(library, "GetPluginFactory")) format = "vst3";
  else if (findSymbol(library, "VSTPluginMain") || findSymbol(library, "main")) format = "vst2";
  else error = "exports none of GetPluginFactory, VSTPluginMain and main";
  freeLibrary(library);
  return format;
}

void writeHosted(JsonWriter& json, const HostedInstrumentInfo& hosted) {
  json.key("outputs").beginArray();
  for (const BusInfo& bus : hosted.outputs)
    json.beginObject().key("name").value(bus.name).key("channels").value(int64_t{bus.channels}).endObject();
  json.endArray().key("parameters").beginArray();
  for (const ParameterInfo& p : hosted.parameters) {
    json.beginObject().key("id").value(int64_t{p.id}).key("title").value(p.title).key("units").value(p.units);
    json.key("default").value(p.defaultValue).key("stepCount").value(int64_t{p.stepCount});
    json.key("flags").value(int64_t{p.flags}).endObject();
  }
  json.endArray().key("programs").beginArray();
  for (const ProgramInfo& program : hosted.programs)
    json.beginObject().key("index").value(int64_t{program.index}).key("name").value(program.name).endObject();
  json.endArray();
}

void writeClass(JsonWriter& json, const Vst3ClassInfo& c) {
  json.beginObject().key("name").value(c.name).key("category").value(c.category);
  json.key("subCategories").value(c.subCategories).key("vendor").value(c.vendor).key("version").value(c.version);
  json.key("sdkVersion").value(c.sdkVersion).key("classId").value(c.classId).endObject();
}

std::string describe(const Vst3ModuleInfo& info) {
  JsonWriter json;
  json.beginObject().key("classes").beginArray();
  for (const Vst3ClassInfo& c : info.classes) writeClass(json, c);
  json.endArray().key("hostedClass");
  if (info.hostedClass && *info.hostedClass < info.classes.size()) {
    const Vst3ClassInfo& hosted = info.classes[*info.hostedClass];
    json.beginObject().key("name").value(hosted.name).key("classId").value(hosted.classId).endObject();
    writeHosted(json, info.hosted);
  } else {
    json.null();
  }
  return json.endObject().text();
}

std::string describe(const Vst2PluginInfo& info) {
  JsonWriter json;
  json.beginObject().key("name").value(info.name).key("vendor").value(info.vendor);
  json.key("product").value(info.product).key("uniqueId").value(int64_t{info.uniqueId});
  json.key("version").value(int64_t{info.version}).key("flags").value(int64_t{info.flags});
  json.key("canDos").beginArray();
  for (const std::string& canDo : info.canDos) json.value(canDo);
  json.endArray();
  writeHosted(json, info.hosted);
  return json.endObject().text();
}

template <class Info, class Scanner>
void scanWith(Scanner scan, const std::string& path) {
  Info info;
  std::string error;
  if (scan(path, info, error) == ScanStatus::kScanned) return markerLine(kResultLine, describe(info));
  std::replace(error.begin(), error.end(), '\n', ' ');
  markerLine(kFailedLine, error.empty() ? "the module could not be loaded" : error);
}

}  // namespace

int runScanChild(const std::string& format, const std::string& path) {
  armFatalReport(0, "");
  std::string error;
  const std::string told = format == "auto" ? formatByExports(path, error) : format;
  if (told.empty()) {
    markerLine(kFailedLine, error);
    return 0;
  }
  markerLine(kFormatLine, told);
  if (told == "vst3") scanWith<Vst3ModuleInfo>(scanVst3Module, path);
  else scanWith<Vst2PluginInfo>(scanVst2Plugin, path);
  return 0;
}

}  // namespace corvel
