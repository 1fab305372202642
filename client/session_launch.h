// Starting a host for a session: which options it can serve, which
// executable, which command line, and how a failed one is described. Owner thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "corvel/session.h"

namespace corvel {

// Why the host could not serve `options`; empty when it can.
std::string optionsProblem(const SessionOptions& options);

// options.hostPath, or corvel beside the module holding this code, in
// ../bin from there, or on PATH, in that order.
std::string hostExecutable(const SessionOptions& options);

// A block name no other session of any process uses at the same time, and
// no block has: a block left by a dead process whose id came back would
// otherwise be attached to, stale counts and all. Owner.
std::string unusedBlockName();

std::vector<std::string> hostArguments(const SessionOptions& options, const std::string& blockName);

// What a failure looked like: `message`, with how the host ended when it did
// (`ending` as ChildProcess::waitExit gives it), and the last lines of its
// standard output and error.
SessionError describeFailure(const std::string& message, std::optional<int> ending, const std::string& output,
                             const std::string& errors);

}  // namespace corvel
