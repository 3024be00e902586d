#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "host/sim/plugin.h"
#include "tool_runner.h"

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(MorvelToolTiltShift, ParamsListTheRowsThenTheCustomUIAndTheCount) {
    const ToolRunner::Outcome outcome = ToolRunner::runTool("params '" + Sim::builtPluginPath("MorvelTiltShift") + "'");
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const std::vector<std::string> lines = linesOf(outcome.out);
    ASSERT_EQ(lines.size(), 19u) << outcome.out;
    // Written down from the effect's controls, not from its table.
    const char* const names[] = {"Type",           "Blur Amount",
                                 "Blur Offset",    "Weight",
                                 "Center",         "Direction",
                                 "Ratio",          "Inner Width",
                                 "Linear Mode",    "Power",
                                 "Focus Distance", "Chromatic Aberration",
                                 "Vignetting",     "Vignetting Color",
                                 "Blending Mode",  "Repeat Edge Pixels",
                                 "Grow Bounds"};
    for (int i = 0; i < 17; ++i) {
        const std::string& line = lines[size_t(i)];
        SCOPED_TRACE(line);
        EXPECT_NE(line.find("id " + std::to_string(i + 1) + " "), std::string::npos);
        EXPECT_NE(line.find(std::string("\"") + names[i] + "\""), std::string::npos);
        EXPECT_NE(line.find("flags 0x20"), std::string::npos);
    }
    EXPECT_NE(lines[0].find("choices 2  menu \"Radial|Linear\""), std::string::npos);
    EXPECT_NE(lines[8].find("choices 2  menu \"Power|Focus Distance\""), std::string::npos);
    EXPECT_NE(lines[14].find("default Multiply (item 4)  choices 20"), std::string::npos);
    EXPECT_NE(lines[12].find("display 1"), std::string::npos) << "Vignetting shows as percent";
    EXPECT_NE(lines[1].find("display 0"), std::string::npos);
    EXPECT_EQ(lines[17], "custom UI events 3");
    EXPECT_EQ(lines[18], "num_params 18");
}

TEST(MorvelToolTiltShift, RendersAtEveryDepthAndDownsampled) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path();
    struct Case {
        const char* name;
        const char* options;
        const char* extension;
    };
    const Case cases[] = {
        {"8 bits", "--depth 8", ".png"},
        {"16 bits", "--depth 16", ".png"},
        {"32 bits", "--depth 32", ".exr"},
        {"half resolution", "--downsample 2", ".png"},
        {"linear, no grow", "--set 'Type=2' --set 'Grow Bounds=0' --depth 16", ".png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path out = dir / ("morvel_tiltshift_" + std::to_string(::getpid()) + c.extension);
        const ToolRunner::Outcome outcome = ToolRunner::runTool("render '" + Sim::builtPluginPath("MorvelTiltShift") +
                                                                "' -o '" + out.string() + "' " + c.options);
        // The tool fails on an unbalanced ledger or anything the host found wrong.
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_TRUE(fs::exists(out));
        fs::remove(out);
    }
}

// Every blending item, with a vignette to blend and chromatic aberration to sample; the types,
// edge modes and depths take turns.
TEST(MorvelToolTiltShift, RendersEveryBlendingModeWithAVignette) {
    namespace fs = std::filesystem;
    const char* const items[] = {"Normal",     "Add",         "Multiply",   "Screen",    "Overlay", "Soft Light",
                                 "Hard Light", "Color Dodge", "Color Burn", "Darken",    "Lighten", "Difference",
                                 "Exclusion",  "Hue",         "Saturation", "Luminosity"};
    const int depths[] = {8, 16, 32};
    int turn = 0;
    for (const char* item : items) {
        SCOPED_TRACE(item);
        const int depth = depths[turn % 3];
        const fs::path out = fs::temp_directory_path() /
                             ("morvel_tiltshift_mode_" + std::to_string(::getpid()) + (depth == 32 ? ".exr" : ".png"));
        const std::string options = std::string("--set 'Blending Mode=") + item +
                                    "' --set 'Type=" + std::to_string(1 + turn % 2) +
                                    "' --set 'Repeat Edge Pixels=" + std::to_string((turn / 2) % 2) +
                                    "' --set 'Vignetting=80' --set 'Vignetting Color=1,0.5,0'" +
                                    " --set 'Chromatic Aberration=5' --set 'Inner Width=20' --depth " +
                                    std::to_string(depth) + " --downsample 2";
        const ToolRunner::Outcome outcome = ToolRunner::runTool("render '" + Sim::builtPluginPath("MorvelTiltShift") +
                                                                "' -o '" + out.string() + "' " + options);
        EXPECT_EQ(outcome.status, 0) << options << "\n" << outcome.err;
        EXPECT_TRUE(fs::exists(out));
        fs::remove(out);
        ++turn;
    }
}

}  // namespace
