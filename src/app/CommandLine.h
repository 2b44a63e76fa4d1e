#pragma once

#include <optional>

namespace tq3 {

// --help and --version print and end the program: the exit code to return
// from main. Any other argument is left to Qt, as it always was.
std::optional<int> answerCommandLine(int argc, const char *const argv[]);

} // namespace tq3
