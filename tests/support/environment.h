// Setting this process's environment, which modules it loads read too. Test thread.
#pragma once

#include <cstdlib>

namespace corvel {

inline void setEnvironmentVariable(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

inline void clearEnvironmentVariable(const char* name) {
#ifdef _WIN32
  // An empty value removes the variable.
  _putenv_s(name, "");
#else
  unsetenv(name);
#endif
}

}  // namespace corvel
