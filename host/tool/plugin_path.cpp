#include <sys/stat.h>

#include "host/sim/plugin.h"
#include "host/tool/command.h"

namespace Tool {

std::string pluginPath(const std::string& argument) {
    struct stat status {};
    if (argument.find('/') != std::string::npos || ::stat(argument.c_str(), &status) == 0) return argument;
    return Sim::builtPluginPath(argument);
}

}  // namespace Tool
