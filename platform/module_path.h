// Where a library finds the programs installed with it: the folder of the
// module (executable or shared library) that holds the calling code, and the
// search path of the system; and the process it runs in. Any thread.
#pragma once

#include <string>

namespace corvel {

// The folder holding the module this function is linked into, without a
// trailing separator; empty when the system cannot tell.
std::string thisModuleFolder();

// `stem` as this system names an executable file ("corvel", "corvel.exe").
std::string executableFileName(const std::string& stem);

// The first executable file named `file` in the folders of PATH; empty when none is.
std::string findOnSearchPath(const std::string& file);

}  // namespace corvel
