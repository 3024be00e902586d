#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "host/tool/command.h"

namespace Tool {

namespace {

std::vector<Command>& table() {
    static std::vector<Command> entries;
    return entries;
}

void printHelp() {
    std::printf("usage: morvel COMMAND [ARGUMENTS]\n\nLoads Morvel plug-ins in the stand-in host and drives them.\n\n");
    for (const Command& command : commands()) {
        const std::string usage = std::string(command.name) + " " + std::string(command.arguments);
        std::printf("  %-28s %.*s\n", usage.c_str(), static_cast<int>(command.summary.size()), command.summary.data());
    }
    std::printf("  %-28s %s\n", "--help", "show this text");
}

}  // namespace

const std::vector<Command>& commands() { return table(); }

Registration::Registration(const Command& command) { table().push_back(command); }

int fail(const std::string& message) {
    std::string line = message;
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::fprintf(stderr, "morvel: %s\n", line.c_str());
    return 1;
}

bool expectArguments(const Command& command, const std::vector<std::string>& arguments, size_t count) {
    if (arguments.size() == count) return true;
    fail("usage: morvel " + std::string(command.name) + " " + std::string(command.arguments));
    return false;
}

}  // namespace Tool

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
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
        try {
            return command.run(std::vector<std::string>(words.begin() + 1, words.end()));
        } catch (const std::exception& error) {
            return Tool::fail(error.what());
        } catch (...) {
            return Tool::fail("unexpected failure");
        }
    }
    Tool::fail("unknown command '" + words[0] + "' (try morvel --help)");
    return 2;
}
