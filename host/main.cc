// corvel: hosts one instrument plug-in for a parent application.
#include "host/startup.h"
#include "vst2/vst2_instrument.h"
#include "vst3/vst3_instrument.h"

int main(int argc, char** argv) {
  // Declared in this order so that the VST 2 adapter is destroyed first.
  corvel::AdapterSlot<corvel::Vst3Instrument> vst3;
  corvel::AdapterSlot<corvel::Vst2Instrument> vst2;
  return corvel::runHost(argc, argv, vst3, vst2);
}
