#include <windows.h>

#include "platform/module_path.h"

namespace corvel {
namespace {

std::string utf8(const wchar_t* text, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), size, nullptr, nullptr);
  return result;
}

}  // namespace

std::string thisModuleFolder() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&thisModuleFolder), &module))
    return {};
  wchar_t file[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, file, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return {};
  const std::string path = utf8(file, static_cast<int>(length));
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string executableFileName(const std::string& stem) { return stem + ".exe"; }

std::string findOnSearchPath(const std::string& file) {
  char found[MAX_PATH];
  const DWORD length = SearchPathA(nullptr, file.c_str(), nullptr, MAX_PATH, found, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(found, length) : std::string();
}

}  // namespace corvel
