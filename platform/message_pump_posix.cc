#include "platform/message_pump.h"

namespace corvel {

void pumpMessages() {}

}  // namespace corvel
