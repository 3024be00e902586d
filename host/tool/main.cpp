#include <unistd.h>

#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/sim/worlds.h"
#include "host/tool/command.h"

#ifndef MORVEL_VERSION
#define MORVEL_VERSION "unknown"
#endif

namespace Tool {

namespace {

std::vector<Command>& table() {
    static std::vector<Command> entries;
    return entries;
}

std::vector<std::string>& flagFolders() {
    static std::vector<std::string> folders;
    return folders;
}

void printHelp() {
    std::printf("usage: morvel [--plugins DIR] COMMAND [ARGUMENTS]\n\n"
                "Loads Morvel plug-ins in the stand-in host and drives them.\n\n");
    for (const Command& command : commands()) {
        const std::string line = std::string(command.name) + " " + std::string(command.arguments);
        std::printf("  %-28s %.*s\n", line.c_str(), static_cast<int>(command.summary.size()), command.summary.data());
    }
    std::printf("  %-28s %s\n", "--help", "show this text; morvel COMMAND --help shows the command's");
    std::printf("  %-28s %s\n", "--version", "show the version");
    std::printf("\nA PLUGIN is a path to a plug-in file or a name (MorvelGlow) looked for in, in order:\n"
                "--plugins DIR, the folders in $MORVEL_PLUGINS (separated by ':'), the plugins folder\n"
                "beside this program, and ../lib/morvel/plugins from it.\n");
}

void printCommandHelp(const Command& command) {
    std::printf("%s\n\n%.*s\n", usage(command).c_str(), static_cast<int>(command.summary.size()),
                command.summary.data());
    if (!command.details.empty()) {
        std::printf("\n%.*s", static_cast<int>(command.details.size()), command.details.data());
    }
}

// The folder this program lies in.
std::string programFolder() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return ".";
    const std::string path(buffer.data(), size_t(length));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool isFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

const std::vector<Command>& commands() { return table(); }

Registration::Registration(const Command& command) { table().push_back(command); }

std::string printable(const std::string& text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0x20 && byte != 0x7f) || c == '\t' || (keepLineBreaks && c == '\n')) {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        }
    }
    return out;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "morvel: %s\n", printable(message, false).c_str());
    return 1;
}

std::string usage(const Command& command) {
    return "usage: morvel " + std::string(command.name) + " " + std::string(command.arguments);
}

bool expectArguments(const Command& command, const std::vector<std::string>& arguments, size_t count) {
    if (arguments.size() == count) return true;
    fail(usage(command));
    return false;
}

void addPluginFolder(const std::string& folder) { flagFolders().push_back(folder); }

std::vector<std::string> pluginFolders() {
    std::vector<std::string> folders = flagFolders();
    if (const char* list = std::getenv("MORVEL_PLUGINS")) {
        const std::string text = list;
        size_t start = 0;
        while (start <= text.size()) {
            const size_t end = std::min(text.find(':', start), text.size());
            if (end > start) folders.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
    const std::string here = programFolder();
    folders.push_back(here + "/plugins");
    folders.push_back(here + "/../lib/morvel/plugins");
    return folders;
}

std::string resolvePlugin(const std::string& nameOrPath) {
    const bool isPath = nameOrPath.find('/') != std::string::npos || isFile(nameOrPath) ||
                        (nameOrPath.size() > 3 && nameOrPath.compare(nameOrPath.size() - 3, 3, ".so") == 0);
    if (isPath || nameOrPath.empty()) return nameOrPath;
    std::string searched;
    for (const std::string& folder : pluginFolders()) {
        const std::string candidate = folder + "/" + nameOrPath + ".so";
        if (isFile(candidate)) return candidate;
        searched += (searched.empty() ? "" : ", ") + folder;
    }
    throw std::runtime_error("no plug-in named '" + nameOrPath + "' in " + searched);
}

}  // namespace Tool

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    // Options before the command.
    while (!words.empty() && words[0].rfind("--", 0) == 0 && words[0] != "--help") {
        if (words[0] == "--version") {
            std::printf("morvel %s\n", MORVEL_VERSION);
            return 0;
        }
        if (words[0] == "--plugins") {
            if (words.size() < 2) {
                Tool::fail("--plugins needs a folder");
                return 2;
            }
            Tool::addPluginFolder(words[1]);
            words.erase(words.begin(), words.begin() + 2);
            continue;
        }
        Tool::fail("unknown option '" + words[0] + "' (try morvel --help)");
        return 2;
    }
    if (words.empty()) {
        Tool::fail("no command given (try morvel --help)");
        return 2;
    }
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        Tool::printHelp();
        return 0;
    }
    for (const Tool::Command& command : Tool::commands()) {
        if (command.name != words[0]) continue;
        const std::vector<std::string> arguments(words.begin() + 1, words.end());
        for (const std::string& argument : arguments) {
            if (argument == "--help" || argument == "-h") {
                Tool::printCommandHelp(command);
                return 0;
            }
        }
        try {
            return command.run(arguments);
        } catch (const Sim::OutOfMemory& error) {
            return Tool::fail(std::string(command.name) + ": out of memory: " + error.what());
        } catch (const std::bad_alloc&) {
            return Tool::fail(std::string(command.name) + ": out of memory");
        } catch (const std::exception& error) {
            return Tool::fail(error.what());
        } catch (...) {
            return Tool::fail("unexpected failure");
        }
    }
    Tool::fail("unknown command '" + words[0] + "' (try morvel --help)");
    return 2;
}
