#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "client/child_environment.h"
#include "client/child_process.h"

namespace corvel {
namespace {

std::vector<std::string> parentEnvironment() {
  std::vector<std::string> entries;
  char* block = GetEnvironmentStringsA();
  for (const char* entry = block; entry && *entry; entry += std::strlen(entry) + 1) {
    if (*entry != '=') entries.emplace_back(entry);  // skip the per-drive "=C:=..." entries
  }
  FreeEnvironmentStringsA(block);
  return entries;
}

// Each entry NUL-terminated, one more NUL after the last.
std::string environmentBlock(const std::vector<std::string>& entries) {
  std::string block;
  for (const std::string& entry : entries) block.append(entry).push_back('\0');
  block.push_back('\0');
  return block;
}

// The quoting the C runtime's argument parser undoes: backslashes are literal
// unless they precede a quote, where they are doubled.
std::string quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string result = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    result.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    result.push_back(c);
  }
  result.append(backslashes * 2, '\\');
  result.push_back('"');
  return result;
}

std::string commandLine(const ChildProcess::Launch& launch) {
  std::string line = quoted(launch.program);
  for (const std::string& argument : launch.arguments) line += " " + quoted(argument);
  return line;
}

// A pipe whose write end the child inherits and whose read end stays ours.
bool inheritablePipe(HANDLE& readEnd, HANDLE& writeEnd) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  return true;
}

HANDLE inheritableNullInput() {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
}

// One captured stream. The child's "\r\n" line ends are stored as "\n", as on POSIX.
struct Capture {
  HANDLE pipe;
  bool open = true;
  bool carriageReturnPending = false;

  // Reads what is waiting into `text` without blocking; false if nothing was.
  bool take(std::string& text) {
    DWORD waiting = 0;
    if (!open) return false;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) {
      open = false;  // the writer closed it
      return false;
    }
    if (waiting == 0) return false;
    char chunk[4096];
    DWORD got = 0;
    if (!ReadFile(pipe, chunk, std::min<DWORD>(waiting, sizeof chunk), &got, nullptr)) return false;
    for (DWORD i = 0; i < got; ++i) append(text, chunk[i]);
    return got > 0;
  }

  void append(std::string& text, char c) {
    if (carriageReturnPending && c != '\n') text.push_back('\r');
    carriageReturnPending = c == '\r';
    if (!carriageReturnPending) text.push_back(c);
  }
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::spawn(const Launch& launch, size_t keptBytes) {
  HANDLE outRead, outWrite, errRead, errWrite;
  if (!inheritablePipe(outRead, outWrite)) return nullptr;
  if (!inheritablePipe(errRead, errWrite)) {
    CloseHandle(outRead), CloseHandle(outWrite);
    return nullptr;
  }
  HANDLE input = inheritableNullInput();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  std::string line = commandLine(launch);
  std::string environment = environmentBlock(childEnvironment(parentEnvironment(), launch.environment));
  PROCESS_INFORMATION started{};
  const bool spawned = CreateProcessA(launch.program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                      environment.data(), nullptr, &startup, &started);
  CloseHandle(input), CloseHandle(outWrite), CloseHandle(errWrite);
  if (!spawned) {
    CloseHandle(outRead), CloseHandle(errRead);
    return nullptr;
  }
  std::unique_ptr<ChildProcess> child(new ChildProcess(static_cast<int>(started.dwProcessId),
                                                       _open_osfhandle(reinterpret_cast<intptr_t>(outRead), _O_RDONLY),
                                                       _open_osfhandle(reinterpret_cast<intptr_t>(errRead), _O_RDONLY),
                                                       keptBytes));
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return child;
}

// The spawner still holds the process, so its id names it here.
ChildProcess::ChildProcess(int pid, int outFd, int errFd, size_t keptBytes)
    : processId(pid),
      processHandle(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                static_cast<DWORD>(pid))),
      capturedOut(keptBytes),
      capturedErr(keptBytes),
      reader([this, outFd, errFd] { readUntilClosed(outFd, errFd); }) {}

ChildProcess::~ChildProcess() {
  if (!exitCode) {
    kill();
    waitExit(std::chrono::seconds(5));
  }
  if (reader.joinable()) reader.join();
  CloseHandle(processHandle);
}

// Polled instead of read to the end: under Wine, helper processes that a
// child starts (the desktop, COM's) can inherit its output handles and keep
// the pipes open long after it has gone. Once the child has ended, what it
// wrote is in the pipes already.
void ChildProcess::readUntilClosed(int outFd, int errFd) {
  Capture streams[2] = {{reinterpret_cast<HANDLE>(_get_osfhandle(outFd))},
                        {reinterpret_cast<HANDLE>(_get_osfhandle(errFd))}};
  Captured* targets[2] = {&capturedOut, &capturedErr};
  for (bool ended = false;;) {
    bool took = false;
    for (int i = 0; i < 2; ++i) {
      std::string text;
      if (!streams[i].take(text)) continue;
      took = true;
      std::lock_guard<std::mutex> guard(lock);
      targets[i]->append(text.data(), text.size());
    }
    if (took) grown.notify_all();
    if (!took && (ended || (!streams[0].open && !streams[1].open))) break;
    if (!took) {
      ended = WaitForSingleObject(processHandle, 1) == WAIT_OBJECT_0;
    }
  }
  _close(outFd);
  _close(errFd);
  std::lock_guard<std::mutex> guard(lock);
  closed = true;
  grown.notify_all();
}

void ChildProcess::takeExitCode() {
  DWORD code = 0;
  if (!exitCode && WaitForSingleObject(processHandle, 0) == WAIT_OBJECT_0 && GetExitCodeProcess(processHandle, &code))
    exitCode = static_cast<int>(code);
}

void ChildProcess::kill(int signal) {
  if (!exitCode) TerminateProcess(processHandle, static_cast<UINT>(-signal));
}

}  // namespace corvel
