#include "instrument/native_instrument.h"

namespace corvel {

void INativeInstrument::allNotesOff(uint32_t channel) {
  for (uint32_t note = 0; note < 128; ++note) noteOff(channel, note, 0);
}

}  // namespace corvel
