#include <objbase.h>
#include <timeapi.h>
#include <windows.h>

#include "platform/system.h"

namespace corvel {
namespace {

// SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX.
constexpr UINT kNoErrorBoxes = 0x8001;
constexpr UINT kTimerPeriodMs = 1;

}  // namespace

void suppressErrorBoxes() { SetErrorMode(kNoErrorBoxes); }

void enterApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
void leaveApartment() { CoUninitialize(); }

void beginFineTimer() { timeBeginPeriod(kTimerPeriodMs); }
void endFineTimer() { timeEndPeriod(kTimerPeriodMs); }

uint32_t currentProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

// Windows has no priority numbers to match: any request takes the highest
// thread priority below the real-time class.
std::string requestRealtime(int32_t) {
  if (!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL))
    return "time-critical priority: error " + std::to_string(GetLastError());
  return {};
}

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace corvel
