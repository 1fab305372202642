// What the adapter and the plug-ins in the same process log, caught for tests while
// it lives. Standard output is caught by swapping std::cout's buffer. Standard error
// is caught at the descriptor, in a file: a module with a C++ runtime of its own
// (every statically linked Windows DLL) has its own std::cerr, and only the
// descriptor is shared by all. Test thread.
#pragma once

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/system.h"

namespace corvel {

class CapturedLog {
 public:
  CapturedLog() : oldOut(std::cout.rdbuf(out.rdbuf())), errPath(uniquePath()) {
    std::fflush(stderr);
    savedErr = dup(2);
    if (FILE* file = std::fopen(errPath.string().c_str(), "wb")) {
      dup2(fileno(file), 2);
      std::fclose(file);
    }
  }
  ~CapturedLog() {
    std::cout.rdbuf(oldOut);
    std::fflush(stderr);
    dup2(savedErr, 2);
    close(savedErr);
    std::error_code ignored;
    std::filesystem::remove(errPath, ignored);
  }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  // What was logged since the last take.
  std::string takeOut() {
    std::string text = out.str();
    out.str({});
    return text;
  }
  std::string takeErr() {
    std::string text = peekErr();
    errTaken += text.size();
    return text;
  }
  // What was logged since the last take, left in place.
  std::string peekOut() const { return out.str(); }
  std::string peekErr() const {
    std::cerr.flush();
    std::fflush(stderr);
    std::ifstream file(errPath, std::ios::binary);
    const std::string all{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return all.size() > errTaken ? all.substr(errTaken) : std::string();
  }

 private:
  static std::filesystem::path uniquePath() {
    static std::atomic<int> counter{0};
    return std::filesystem::temp_directory_path() /
           ("corvel-log-" + std::to_string(currentProcessId()) + "-" + std::to_string(counter++));
  }

  std::ostringstream out;
  std::streambuf* oldOut;
  std::filesystem::path errPath;
  int savedErr = -1;
  size_t errTaken = 0;
};

}  // namespace corvel
