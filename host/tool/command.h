#pragma once

// The morvel command's subcommands. Each lives in its own source file and adds itself to the
// table with a static Registration.

#include <string>
#include <string_view>
#include <vector>

namespace Tool {

struct Command {
    std::string_view name;
    std::string_view arguments;  // as shown in the usage, e.g. "PLUGIN"
    std::string_view summary;
    // Gets the arguments after the subcommand's name; returns the exit status.
    int (*run)(const std::vector<std::string>& arguments);
};

const std::vector<Command>& commands();

struct Registration {
    explicit Registration(const Command& command);
};

// Prints "morvel: message" on one line to standard error; returns the failure status.
int fail(const std::string& message);

// For commands that take exactly `count` arguments; prints the usage line when they differ.
bool expectArguments(const Command& command, const std::vector<std::string>& arguments, size_t count);

// The file of a plug-in given by its path, or by its name ("MorvelGlow") when no such file
// exists: then the build's own.
std::string pluginPath(const std::string& argument);

}  // namespace Tool
