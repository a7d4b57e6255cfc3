#pragma once
// The operating system as a support report names it: its name, release and machine, never
// the computer's own name. One implementation per platform.

#include <string>

namespace kivrel::cli {

[[nodiscard]] std::string OperatingSystemText();

}  // namespace kivrel::cli
