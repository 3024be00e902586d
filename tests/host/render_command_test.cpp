// The morvel command's render and params: frames of the built plug-ins written to files, and
// one-line failures for what cannot be done.

#include <gtest/gtest.h>

#include <cmath>
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
    // The reason names the file once, not once per layer of the tool it passed through.
    const std::string err = runTool("render MorvelGlow -i /no/such/picture.png" + o).err;
    EXPECT_EQ(err.find("picture.png"), err.rfind("picture.png")) << err;
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

namespace {

// The probe's readings: the first four pixels of the output's top row.
struct Readings {
    PF_PixelFloat values, tint, spot, other;
};

Readings read(const fs::path& path) {
    const Sim::Image picture = Sim::loadImage(path.string());
    return {picture.at<PF_PixelFloat>(0, 0), picture.at<PF_PixelFloat>(1, 0), picture.at<PF_PixelFloat>(2, 0),
            picture.at<PF_PixelFloat>(3, 0)};
}

TEST(MorvelRender, SettingsAndLayersReachTheEffectAsTheHostDeliversThem) {
    const fs::path layer = scratch("layer.png");
    Sim::Image solid(8, 4, PF_PixelFormat_ARGB32);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 8; ++x) solid.at<PF_Pixel>(x, y) = {255, 64, 128, 192};
    }
    Sim::saveImage(layer.string(), solid.def());
    struct Case {
        const char* name;
        std::string options;
        PF_PixelFloat values;  // mode, flip, gain
        PF_PixelFloat tint;    // 8-bit channels
        PF_PixelFloat spot;    // x, y, turn
        float otherRed;        // -1 without a layer
    } cases[] = {
        {"defaults", "", {1, 1, 0, 1}, {255, 0, 0, 0}, {1, 120, 80, 0}, -1},
        {"defaults at half", "--downsample 2", {1, 1, 0, 1}, {255, 0, 0, 0}, {1, 60, 40, 0}, -1},
        {"items by text, values as lists",
         "--set Mode=Three --set Flip=on --set 'Tint=1,0.5,0' --set 'Spot=10,20' --set Gain=2.5 --set Turn=45",
         {1, 3, 1, 2.5f}, {255, 255, 128, 0}, {1, 10, 20, 45}, -1},
        {"an item by number, points at half", "--set Mode=4 --set 'Spot=10,20' --downsample 2", {1, 4, 0, 1},
         {255, 0, 0, 0}, {1, 5, 10, 0}, -1},
        {"a layer", "--layer 'Other Layer=" + layer.string() + "'", {1, 1, 0, 1}, {255, 0, 0, 0}, {1, 120, 80, 0},
         64 / 255.0f},
        {"a layer at half", "--downsample 2 --layer 'Other Layer=" + layer.string() + "'", {1, 1, 0, 1},
         {255, 0, 0, 0}, {1, 60, 40, 0}, 64 / 255.0f},
    };
    auto same = [](const PF_PixelFloat& a, const PF_PixelFloat& b) {
        return std::fabs(a.alpha - b.alpha) < 1e-4 && std::fabs(a.red - b.red) < 1e-4 &&
               std::fabs(a.green - b.green) < 1e-4 && std::fabs(a.blue - b.blue) < 1e-4;
    };
    auto text = [](const PF_PixelFloat& p) {
        return "(" + std::to_string(p.alpha) + ", " + std::to_string(p.red) + ", " + std::to_string(p.green) + ", " +
               std::to_string(p.blue) + ")";
    };
    for (const Case& c : cases) {
        const fs::path out = scratch("probe.exr");
        const Outcome outcome =
            runTool(std::string("render '") + MORVEL_PROBE_PLUGIN + "' --depth 32 -o '" + out.string() + "' " + c.options);
        ASSERT_EQ(outcome.status, 0) << c.name << ": " << outcome.err;
        const Readings got = read(out);
        EXPECT_TRUE(same(got.values, c.values)) << c.name << ": " << text(got.values);
        EXPECT_TRUE(same(got.tint, c.tint)) << c.name << ": " << text(got.tint);
        EXPECT_TRUE(same(got.spot, c.spot)) << c.name << ": " << text(got.spot);
        EXPECT_NEAR(got.other.red, c.otherRed, 1e-4) << c.name;
        fs::remove(out);
    }
    fs::remove(layer);
}

TEST(MorvelRender, ValuesTheParameterCannotTakeAreRefused) {
    const fs::path out = scratch("refused.exr");
    struct Case {
        const char* name;
        const char* option;
        const char* mentions;
    } cases[] = {
        {"a separator", "--set 'Mode=(-'", "no item"},
        {"an item not in the menu", "--set Mode=Two", "no item"},
        {"an item number beyond the menu", "--set Mode=5", "no item"},
        {"a checkbox word", "--set Flip=maybe", "on or off"},
        {"a colour of two numbers", "--set 'Tint=1,2'", "3 comma-separated"},
        {"a point of words", "--set 'Spot=a,b'", "not a number"},
        {"a layer through --set", "--set 'Other Layer=x'", "--layer"},
        {"a value through --layer", "--layer 'Gain=x.png'", "x.png"},
    };
    for (const Case& c : cases) {
        const Outcome outcome =
            runTool(std::string("render '") + MORVEL_PROBE_PLUGIN + "' -o '" + out.string() + "' " + c.option);
        EXPECT_NE(outcome.status, 0) << c.name;
        EXPECT_EQ(lines(outcome.err), 1) << c.name << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.mentions), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_FALSE(fs::exists(out)) << c.name;
    }
}

}  // namespace
