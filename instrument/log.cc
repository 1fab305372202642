#include "instrument/log.h"

#include <cstdio>

namespace corvel::log {

std::ostream& operator<<(std::ostream& out, Hex hex) {
  return out << std::hex << hex.value << std::dec;
}

std::ostream& operator<<(std::ostream& out, Ptr ptr) {
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ptr.address)));
  return out << digits;
}

}  // namespace corvel::log
