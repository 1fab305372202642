// An unhandled-exception filter and an abort handler write the same line a
// POSIX host writes when a signal ends it. The system removes the block's
// section with the last handle, so there is no name to remove here. All but
// armFatalReport runs on the faulting thread with the process about to end.
#include <windows.h>

#include <csignal>

#include "platform/fatal_line.h"
#include "platform/fatal_report.h"

namespace corvel {
namespace {

uint32_t armedChannel = 0;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

struct ReportedSignal {
  int number;
  const char* name;
};

// The signal a POSIX host would have died of, so both lines read alike.
ReportedSignal signalOf(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_STACK_OVERFLOW:
      return {SIGSEGV, "SIGSEGV"};
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_BREAKPOINT:
      return {SIGILL, "SIGILL"};
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_STACK_CHECK:
      return {SIGFPE, "SIGFPE"};
    default:
      return {SIGABRT, "SIGABRT"};
  }
}

void writeFatalLine(ReportedSignal signal, const void* address) {
  char module[MAX_PATH] = "<unknown>";
  HMODULE holder = nullptr;
  constexpr DWORD kLookup = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!GetModuleHandleExA(kLookup, static_cast<LPCSTR>(address), &holder) ||
      GetModuleFileNameA(holder, module, sizeof module) == 0)
    lstrcpyA(module, "<unknown>");
  const FatalLine line(signal.number, signal.name, reinterpret_cast<uintptr_t>(address), module, armedChannel);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.text(), static_cast<DWORD>(line.size()), &written, nullptr);
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  writeFatalLine(signalOf(record.ExceptionCode), record.ExceptionAddress);
  return previousFilter ? previousFilter(pointers) : EXCEPTION_CONTINUE_SEARCH;
}

// abort() raises no exception here. Guarded calls put their own handler in
// place for their duration.
void onAbort(int) {
  writeFatalLine({SIGABRT, "SIGABRT"}, __builtin_return_address(0));
  std::signal(SIGABRT, SIG_DFL);
  std::raise(SIGABRT);
}

}  // namespace

void armFatalReport(uint32_t channel, const std::string&) {
  armedChannel = channel;
  previousFilter = SetUnhandledExceptionFilter(onUnhandledException);
  std::signal(SIGABRT, onAbort);
}

}  // namespace corvel
