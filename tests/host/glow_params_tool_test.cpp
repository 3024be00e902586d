#include <gtest/gtest.h>

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
