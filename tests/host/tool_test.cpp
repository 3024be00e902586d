#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/sim/plugin.h"
#include "host/tool_runner.h"

namespace {

using ToolRunner::lines;
using ToolRunner::Outcome;
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

namespace {

TEST(MorvelTool, PluginsAreFoundByNameInTheSearchedFolders) {
    const fs::path built = fs::path(Sim::builtPluginPath("MorvelGlow")).parent_path();
    const fs::path elsewhere = fs::temp_directory_path() / ("morvel_tool_plugins_" + std::to_string(::getpid()));
    fs::create_directories(elsewhere);
    fs::copy_file(built / "MorvelGlow.so", elsewhere / "Copied.so");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        ToolRunner::Limits limits;
        int status;
        const char* mentions;
    } cases[] = {
        {"beside the tool", {"about", "MorvelGlow"}, {}, 0, "MorvelGlow, v1.0.0"},
        {"by path", {"about", (built / "MorvelTiltShift.so").string()}, {}, 0, "MorvelTiltShift"},
        {"a folder given", {"--plugins", elsewhere.string(), "about", "Copied"}, {}, 0, "MorvelGlow, v1.0.0"},
        {"a folder in the environment",
         {"info", "Copied"},
         {-1, {"MORVEL_PLUGINS=/nowhere:" + elsewhere.string()}},
         0,
         "Copied.so"},
        {"not found", {"about", "Copied"}, {}, 1, "no plug-in named 'Copied' in "},
        {"flag without folder", {"--plugins"}, {}, 2, "--plugins needs a folder"},
    };
    for (const Case& c : cases) {
        const ToolRunner::Outcome outcome = ToolRunner::run(c.arguments, c.limits);
        EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.err;
        EXPECT_NE((outcome.out + outcome.err).find(c.mentions), std::string::npos)
            << c.name << ": " << outcome.out << outcome.err;
    }
    fs::remove_all(elsewhere);
}

TEST(MorvelTool, VersionAndEachCommandsHelp) {
    const ToolRunner::Outcome version = ToolRunner::run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "morvel 1.0.0\n");
    for (const char* command : {"about", "info", "image", "render", "params"}) {
        const ToolRunner::Outcome help = ToolRunner::run({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: morvel ") + command, 0), 0u) << command << ": " << help.out;
    }
    const ToolRunner::Outcome image = ToolRunner::run({"image", "--help"});
    EXPECT_NE(image.out.find("--png-compression N"), std::string::npos) << image.out;
    // What a first render needs to know, in its help.
    const ToolRunner::Outcome render = ToolRunner::run({"render", "--help"});
    for (const char* mention : {"8 for an 8-bit", "16 for a 16-bit PNG", "32 (float) for OpenEXR", "morvel params",
                                "r,g,b", "x,y in layer pixels", "on or off", "--downsample N", "--threads N",
                                "--png-compression N", "--exr-type", "updated in place", "wrote OUT"}) {
        EXPECT_NE(render.out.find(mention), std::string::npos) << mention << ":\n" << render.out;
    }
}

TEST(MorvelTool, ControlBytesNeverReachTheTerminal) {
    const ToolRunner::Outcome outcome = ToolRunner::run({"image", "evil\x1b]0;title\x07\r\n.png", "out.png"});
    EXPECT_NE(outcome.status, 0);
    EXPECT_NE(outcome.err.find("evil\\x1b]0;title\\x07\\x0d\\x0a.png"), std::string::npos) << outcome.err;
    for (char c : outcome.err.substr(0, outcome.err.size() - 1)) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
}

}  // namespace
