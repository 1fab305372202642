// corvel-render's jobs file: JSON lines, one object of scalars per job, e.g.
//   {"plugin": "dx10.vst3", "midi": "a.mid", "preset": "p.txt", "out": "a.wav",
//    "vst2": false, "seconds": 2.0, "sr": 48000}
// read whole before anything runs, so a bad line stops the batch before its
// first job. Any thread.
#pragma once

#include <cstddef>
#include <istream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/render_job.h"

namespace corvel {

struct JsonScalar {
  enum class Kind { kString, kNumber, kBoolean, kNull };
  Kind kind = Kind::kNull;
  std::string text;    // kString, unescaped (UTF-8)
  double number = 0;   // kNumber, finite
  bool boolean = false;
};

struct FlatObjectRead {
  std::map<std::string, JsonScalar> fields;
  std::string error;  // empty when the text was one object of scalars
};

// One JSON object whose values are strings, numbers, true, false or null,
// with nothing but white space around it. Duplicate keys are refused.
FlatObjectRead readFlatObject(std::string_view text);

struct JobLine {
  size_t line;  // in the file, from 1
  RenderJob job;
};

struct JobsRead {
  std::vector<JobLine> jobs;
  std::string error;  // "line N: WHY" for the first bad line; empty when all were good
};

// Every job of the file; blank lines are skipped. A job starts from
// `defaults` and takes what its line gives; "plugin" and "out" are required,
// and no two jobs may write the same file.
JobsRead readJobs(std::istream& in, const RenderJob& defaults);

}  // namespace corvel
