// What corvel-soak reads about the host process from /proc (the tools are
// built for Linux only). Any thread.
#pragma once

#include "tools/soak_checks.h"

namespace corvel {

// VmRSS and the number of open descriptors of process `pid`; zeros once it is gone.
ResourceSample probeResources(unsigned long pid);

// Whether AddressSanitizer's runtime is mapped into process `pid`.
bool runsUnderAddressSanitizer(unsigned long pid);

}  // namespace corvel
