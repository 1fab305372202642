// The last line a host writes when a fault ends it, built in a fixed buffer
// because it is written from a signal handler or an unhandled-exception
// filter, where allocating may deadlock on the allocator's lock. Internal to
// platform/. Any thread; async-signal-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvel {

class FatalLine {
 public:
  static constexpr size_t kCapacity = 4608;  // room for a PATH_MAX module path

  // "[corvel] fatal signal S (NAME) at 0xADDR in MODULE ch=N" and a line feed;
  // ADDR in 16 upper-case hexadecimal digits, like the crash report's addresses.
  FatalLine(int signal, const char* name, uintptr_t address, const char* module, uint32_t channel) {
    append("[corvel] fatal signal ");
    appendDecimal(static_cast<uint64_t>(signal));
    append(" (");
    append(name);
    append(") at 0x");
    appendHex(address);
    append(" in ");
    append(module);
    append(" ch=");
    appendDecimal(channel);
    append("\n");
  }

  const char* text() const { return text_; }
  size_t size() const { return size_; }

 private:
  void appendChar(char c) {
    if (size_ < kCapacity) text_[size_++] = c;
  }
  void append(const char* piece) {
    while (*piece) appendChar(*piece++);
  }
  void appendDecimal(uint64_t value) {
    char digits[20];
    size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (count > 0) appendChar(digits[--count]);
  }
  void appendHex(uint64_t value) {
    for (int shift = 60; shift >= 0; shift -= 4) appendChar("0123456789ABCDEF"[(value >> shift) & 0xF]);
  }

  char text_[kCapacity];
  size_t size_ = 0;
};

}  // namespace corvel
