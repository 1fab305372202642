// corvel-fakehost: the whole host around a scripted instrument, so process
// tests can drive start-up, the service loop and the preset exchange without
// a plug-in. Every instrument call is echoed on standard error as
// "[fake] <call>". The instrument renders silence until controller 7 sets its
// level to value/127; its state starts as a 105-byte text; a plug-in path
// beginning with "fail" makes loading fail, one beginning with "hang" makes
// `process` never return, as a stuck plug-in's might, and one beginning with
// "quiet" echoes nothing, so benches time the host rather than the pipe.
#include <chrono>
#include <iostream>
#include <thread>

#include "host/startup.h"
#include "instrument/recording_instrument.h"

namespace corvel {
namespace {

class FakeInstrument : public RecordingInstrument {
 public:
  FakeInstrument() {
    echo = &std::cerr;
    recordRenders = false;
    state = "fake:" + std::string(100, 'x');
  }
  void setChannel(uint32_t) {}
  bool loadPlugin(const std::string& path, double) {
    hangs = path.rfind("hang", 0) == 0;
    if (path.rfind("quiet", 0) == 0) echo = nullptr;
    return path.rfind("fail", 0) != 0;
  }
  void controlChange(uint32_t channel, uint32_t controller, uint32_t value) override {
    RecordingInstrument::controlChange(channel, controller, value);
    if (controller == 7) level = static_cast<float>(value) / 127.0f;
  }
  void process(float* outLeft, float* outRight, int32_t frames) override {
    if (hangs) hang();
    RecordingInstrument::process(outLeft, outRight, frames);
  }

 private:
  [[noreturn]] static void hang() {
    std::cerr << "[fake] process hangs" << std::endl;
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }

  bool hangs = false;
};

}  // namespace
}  // namespace corvel

int main(int argc, char** argv) {
  corvel::AdapterSlot<corvel::FakeInstrument> vst3;
  corvel::AdapterSlot<corvel::FakeInstrument> vst2;
  return corvel::runHost(argc, argv, vst3, vst2);
}
