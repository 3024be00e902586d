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
    // More lines for `morvel NAME --help`, e.g. the options; may be empty.
    std::string_view details = {};
};

const std::vector<Command>& commands();

struct Registration {
    explicit Registration(const Command& command);
};

// Prints "morvel: message" on one line to standard error; returns the failure status.
int fail(const std::string& message);

// For commands that take exactly `count` arguments; prints the usage line when they differ.
bool expectArguments(const Command& command, const std::vector<std::string>& arguments, size_t count);

// The usage line of a command, "usage: morvel NAME ARGUMENTS".
std::string usage(const Command& command);

// Control bytes shown as \xNN (tabs and line breaks kept), so that texts from a plug-in or a
// file name cannot drive the terminal.
std::string printable(const std::string& text, bool keepLineBreaks = true);

// Where plug-ins are looked for by name, first to last: folders given with --plugins, those in
// $MORVEL_PLUGINS (separated by ':'), the "plugins" folder beside the tool (a build) and
// ../lib/morvel/plugins from it (an installation).
void addPluginFolder(const std::string& folder);
std::vector<std::string> pluginFolders();

// A plug-in given by path (an existing file, or anything with a '/' or ending in ".so") or by
// name ("MorvelGlow"), as the path of its file. Throws std::runtime_error naming the folders
// searched.
std::string resolvePlugin(const std::string& nameOrPath);

}  // namespace Tool
