#include <windows.h>

#include "platform/message_pump.h"

namespace corvel {

// Every window of this thread, editors' included; their procedures run here.
void pumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace corvel
