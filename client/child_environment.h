// The environment a child process starts with. Internal to client/. Owner thread.
#pragma once

#include <string>
#include <vector>

namespace corvel {

// `inherited` ("NAME=value" entries) with the `overrides` set or replaced.
std::vector<std::string> childEnvironment(const std::vector<std::string>& inherited,
                                          const std::vector<std::string>& overrides);

}  // namespace corvel
