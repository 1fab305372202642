// What the adapter and the plug-ins in the same process log, caught for tests by
// swapping the streams' buffers while it lives. Test thread.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace corvel {

class CapturedLog {
 public:
  CapturedLog() : oldOut(std::cout.rdbuf(out.rdbuf())), oldErr(std::cerr.rdbuf(err.rdbuf())) {}
  ~CapturedLog() {
    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
  }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  // What was logged since the last take.
  std::string takeOut() { return take(out); }
  std::string takeErr() { return take(err); }
  // What was logged since the last take, left in place.
  std::string peekOut() const { return out.str(); }
  std::string peekErr() const { return err.str(); }

 private:
  static std::string take(std::ostringstream& stream) {
    std::string text = stream.str();
    stream.str({});
    return text;
  }
  std::ostringstream out, err;
  std::streambuf* oldOut;
  std::streambuf* oldErr;
};

}  // namespace corvel
