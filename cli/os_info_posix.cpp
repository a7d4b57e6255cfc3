#include <sys/utsname.h>

#include "cli/os_info.h"

namespace kivrel::cli {

std::string OperatingSystemText() {
    struct utsname name {};
    if (::uname(&name) != 0) return "unknown (uname failed)";
    // nodename, the computer's name, is left out.
    return std::string(name.sysname) + " " + name.release + " " + name.version + " " + name.machine;
}

}  // namespace kivrel::cli
