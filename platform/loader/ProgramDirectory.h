// Where the suite's programs and modules live. Everything ships in one
// directory, so programs and modules are found next to the running program.
#pragma once

#include <string>
#include <string_view>

namespace murmex::platform {

// Directory of the running executable, ending in '/'. MURMEX_PROGRAM_DIR,
// when set, takes its place (tests and tools run from elsewhere). Empty only
// if the executable's location cannot be read.
std::string ProgramDirectory();

// The programs call each other by their Windows names ("MXDPlayer.exe");
// here the file has no extension.
std::string ExecutableName(std::string_view systemName);

// ProgramDirectory() + ExecutableName(systemName).
std::string ProgramPath(std::string_view systemName);

}  // namespace murmex::platform
