// Until the X11 window lands, no window can be created and the editor simply
// does not open; the host keeps serving audio.
#include "platform/host_window.h"

namespace corvel {

void* createHostWindow() { return nullptr; }
void bringHostWindowToFront(void*) {}
void hideHostWindow(void*) {}

}  // namespace corvel
