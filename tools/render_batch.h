// corvel-render's batch mode: many jobs on a few threads, each job on a
// session (and so a host) of its own. A job that fails is reported and the
// others go on.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/jobs_file.h"

namespace corvel {

enum class BatchStatus { kAllDone, kSomeFailed };

// Renders every job, `workers` at a time. Each finished job prints its
// outcome line on standard output and each failed one a line naming it on
// standard error, under one progress bar for the whole batch; a summary
// line ends the run. `verbose` adds a failed job's host log. Main thread.
BatchStatus runBatch(const std::vector<JobLine>& jobs, uint32_t workers, bool verbose);

}  // namespace corvel
