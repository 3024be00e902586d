// The morvel command's render and params: frames of the built plug-ins written to files, and
// one-line failures for what cannot be done.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/sim/image_io.h"
#include "host/sim/plugin.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;
using ToolRunner::Outcome;
using ToolRunner::lines;
using ToolRunner::runTool;

const char* const kPlugins[] = {"MorvelGlow", "MorvelTiltShift", "MorvelDiffusion"};

fs::path scratch(const std::string& name) {
    return fs::temp_directory_path() / ("morvel_render_" + std::to_string(::getpid()) + "_" + name);
}

TEST(MorvelRender, EveryPluginRendersTheBuiltInImageAtEveryDepth) {
    struct Case {
        const char* name;
        const char* options;
        const char* extension;
        PF_PixelFormat format;
        int32_t width, height;
    } cases[] = {
        {"8-bit png", "--depth 8", ".png", PF_PixelFormat_ARGB32, 240, 160},
        {"16-bit png", "--depth 16", ".png", PF_PixelFormat_ARGB64, 240, 160},
        {"float exr", "--depth 32", ".exr", PF_PixelFormat_ARGB128, 240, 160},
        {"8-bit at half", "--depth 8 --downsample 2", ".png", PF_PixelFormat_ARGB32, 120, 80},
        {"float at half, two threads", "--depth 32 --downsample 2 --threads 2", ".exr", PF_PixelFormat_ARGB128, 120,
         80},
    };
    for (const char* plugin : kPlugins) {
        if (!fs::exists(Sim::builtPluginPath(plugin))) continue;
        for (const Case& c : cases) {
            const fs::path out = scratch(std::string(plugin) + c.extension);
            const Outcome outcome = runTool(std::string("render ") + plugin + " -o '" + out.string() + "' " + c.options);
            EXPECT_EQ(outcome.status, 0) << plugin << ", " << c.name << ": " << outcome.err;
            ASSERT_TRUE(fs::exists(out)) << plugin << ", " << c.name;
            const Sim::Image picture = Sim::loadImage(out.string());
            EXPECT_EQ(picture.width(), c.width) << plugin << ", " << c.name;
            EXPECT_EQ(picture.height(), c.height) << plugin << ", " << c.name;
            EXPECT_EQ(picture.format(), c.format) << plugin << ", " << c.name;
            fs::remove(out);
        }
    }
}

TEST(MorvelRender, WhatCannotBeDoneIsOneLineAndANonZeroExit) {
    const fs::path out = scratch("never.png");
    const std::string o = " -o '" + out.string() + "'";
    struct Case {
        const char* name;
        std::string arguments;
        const char* mentions;
    } cases[] = {
        {"no output", "render MorvelGlow", "-o OUT"},
        {"no plug-in", "render" + o, "no plug-in"},
        {"a depth of 12", "render MorvelGlow --depth 12" + o, "8, 16 or 32"},
        {"a downsampling of 0", "render MorvelGlow --downsample 0" + o, "--downsample"},
        {"an unknown option", "render MorvelGlow --fast" + o, "unknown option"},
        {"a setting without a value", "render MorvelGlow --set Blur" + o, "Name=value"},
        {"an unknown parameter", "render MorvelGlow --set 'No Such Thing=1'" + o, "No Such Thing"},
        {"an unknown layer parameter", "render MorvelGlow --layer 'No Such Layer=x.png'" + o, "x.png"},
        {"an input that is not there", "render MorvelGlow -i /no/such/picture.png" + o, "picture.png"},
        {"a plug-in that is not there", "render /no/such/Plugin.so" + o, "no such file"},
        {"params of nothing", "params", "usage"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = runTool(c.arguments);
        EXPECT_NE(outcome.status, 0) << c.name;
        EXPECT_EQ(lines(outcome.err), 1) << c.name << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.mentions), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_FALSE(fs::exists(out)) << c.name;
    }
}

TEST(MorvelParams, EveryPluginListsItsEntriesAndCount) {
    for (const char* plugin : kPlugins) {
        if (!fs::exists(Sim::builtPluginPath(plugin))) continue;
        const Outcome outcome = runTool(std::string("params ") + plugin);
        EXPECT_EQ(outcome.status, 0) << plugin << ": " << outcome.err;
        const size_t count = outcome.out.rfind("num_params ");
        ASSERT_NE(count, std::string::npos) << plugin;
        const int reported = std::stoi(outcome.out.substr(count + 11));
        // One line per registered entry, then the custom UI and the count.
        EXPECT_EQ(lines(outcome.out), reported > 0 ? reported - 1 + 2 : 2) << plugin << ":\n" << outcome.out;
        EXPECT_NE(outcome.out.find("custom UI "), std::string::npos) << plugin;
    }
}

}  // namespace
