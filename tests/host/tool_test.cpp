#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/sim/plugin.h"
#include "tool_runner.h"

namespace {

using ToolRunner::Outcome;
using ToolRunner::lines;
using ToolRunner::runTool;
namespace fs = std::filesystem;

TEST(MorvelTool, FailuresExitNonZeroWithOneLine) {
    const fs::path text = fs::temp_directory_path() / ("morvel_tool_text_" + std::to_string(::getpid()));
    std::ofstream(text) << "not a plug-in\n";
    struct Case {
        const char* label;
        std::string arguments;
        const char* mentions;
    } cases[] = {
        {"missing file", "about /no/such/MorvelGlow.so", "no such file"},
        {"text file", "about '" + text.string() + "'", "not a plug-in"},
        {"info of a text file", "info '" + text.string() + "'", "not a plug-in"},
        {"unknown command", "paint x", "unknown command"},
        {"no command", "", "no command"},
        {"missing argument", "about", "usage"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = runTool(c.arguments);
        EXPECT_NE(outcome.status, 0) << c.label;
        EXPECT_EQ(lines(outcome.err), 1) << c.label << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.mentions), std::string::npos) << c.label << ": " << outcome.err;
        EXPECT_EQ(outcome.out, "") << c.label;
    }
    fs::remove(text);
}

TEST(MorvelTool, AboutAndInfoOfTheGlow) {
    const std::string glow = "'" + Sim::builtPluginPath("MorvelGlow") + "'";
    const Outcome about = runTool("about " + glow);
    EXPECT_EQ(about.status, 0) << about.err;
    EXPECT_EQ(about.out.substr(0, about.out.find('\n')), "MorvelGlow, v1.0.0");
    const Outcome info = runTool("info " + glow);
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("match name     MorvelGlow 2"), std::string::npos) << info.out;
    const Outcome help = runTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("about PLUGIN"), std::string::npos);
}

}  // namespace
