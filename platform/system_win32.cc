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

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace corvel
