#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/sim/plugin.h"
#include "tool_runner.h"

namespace {

struct Entry {
    int index;
    int id;
    std::string kind;
    std::string name;
    unsigned flags;
};

TEST(MorvelToolGlowParams, EveryEntryInOrderWithItsIdAndFlags) {
    const ToolRunner::Outcome outcome = ToolRunner::runTool("params '" + Sim::builtPluginPath("MorvelGlow") + "'");
    ASSERT_EQ(outcome.status, 0) << outcome.err;

    const std::regex entryLine(R"re(^\s*(\d+)\s+id (\d+)\s+(.+?)\s+"([^"]*)"\s+flags 0x([0-9a-f]+).*$)re");
    std::vector<Entry> entries;
    std::vector<std::string> rest;
    std::istringstream text(outcome.out);
    for (std::string line; std::getline(text, line);) {
        std::smatch m;
        if (std::regex_match(line, m, entryLine)) {
            entries.push_back({std::stoi(m[1]), std::stoi(m[2]), m[3], m[4], unsigned(std::stoul(m[5], nullptr, 16))});
        } else {
            rest.push_back(line);
        }
    }
    // The input layer is index 0 and not listed: 108 entries, 109 parameters.
    ASSERT_EQ(entries.size(), 108u) << outcome.out;
    std::map<std::string, int> groupsOf89;
    int collapsed = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        EXPECT_EQ(e.index, int(i) + 1);
        if (e.id == 89) {
            EXPECT_EQ(e.kind, "group start") << e.index;
            ++groupsOf89[e.name];
        } else {
            EXPECT_EQ(e.id, e.index) << e.name;
        }
        if (e.index == 64 || e.index == 82) {
            EXPECT_EQ(e.kind, "arbitrary data");
            EXPECT_EQ(e.flags, 0u) << e.name;
        } else {
            EXPECT_EQ(e.flags, 0x20u) << e.index << " " << e.name;
            collapsed += e.flags == 0x20u;
        }
    }
    EXPECT_EQ(collapsed, 106);
    EXPECT_EQ(groupsOf89, (std::map<std::string, int>{{"Composite", 1}, {"Glow Levels", 1}, {"Source Levels", 1}}));
    EXPECT_EQ(entries[63].name, "Custom Channel");
    EXPECT_EQ(entries[81].name, "Toner Custom Channel");
    EXPECT_EQ(rest, (std::vector<std::string>{"custom UI events 7", "num_params 109"}));
}

}  // namespace

namespace {

// The default of an entry as params shows it, when --set can take it back: empty otherwise.
std::string settableDefault(const std::string& kind, const std::string& rest) {
    if (rest.rfind("default ", 0) != 0) return {};
    std::string value = rest.substr(8);
    if (kind == "arbitrary data") return value.substr(1, value.find("\"  (") - 1);
    if (kind == "popup") return value.substr(0, value.find(" (item "));
    return value.substr(0, value.find("  "));
}

TEST(MorvelToolGlowParams, EveryDefaultShownGivenBackRendersTheDefaultPicture) {
    const std::string glow = "'" + Sim::builtPluginPath("MorvelGlow") + "'";
    const ToolRunner::Outcome listed = ToolRunner::runTool("params " + glow);
    ASSERT_EQ(listed.status, 0) << listed.err;
    const std::regex entryLine(R"re(^\s*\d+\s+id \d+\s+(.+?)\s+"([^"]*)"\s+flags 0x[0-9a-f]+\s+(.*)$)re");
    std::string settings;
    int given = 0;
    std::istringstream text(listed.out);
    for (std::string line; std::getline(text, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, entryLine)) continue;
        const std::string kind = m[1];
        if (kind == "group start" || kind == "group end" || kind == "layer" || kind == "point") continue;
        const std::string value = settableDefault(kind, m[3]);
        EXPECT_NE(value, "") << line;
        settings += " --set '" + std::string(m[2]) + "=" + value + "'";
        ++given;
    }
    EXPECT_GT(given, 80) << listed.out;
    const auto file = [](const char* name) {
        return std::filesystem::temp_directory_path() / ("morvel_params_" + std::to_string(::getpid()) + name);
    };
    const std::string render = "render " + glow + " --depth 32 --downsample 2 -o ";
    const ToolRunner::Outcome plain = ToolRunner::runTool(render + "'" + file("plain.exr").string() + "'");
    const ToolRunner::Outcome again = ToolRunner::runTool(render + "'" + file("again.exr").string() + "'" + settings);
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(ToolRunner::slurp(file("plain.exr")), ToolRunner::slurp(file("again.exr")));
    std::filesystem::remove(file("plain.exr"));
    std::filesystem::remove(file("again.exr"));
}

}  // namespace
