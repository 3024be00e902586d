// The morvel command's render and params: frames of the built plug-ins written to files, and
// one-line failures for what cannot be done.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/sim/image_io.h"
#include "host/sim/plugin.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;
using ToolRunner::lines;
using ToolRunner::Outcome;
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
        {"no depth: the built-in picture at 8 bits", "", ".png", PF_PixelFormat_ARGB32, 240, 160},
        {"progress lines asked for", "--depth 16 --progress", ".png", PF_PixelFormat_ARGB64, 240, 160},
    };
    for (const char* plugin : kPlugins) {
        if (!fs::exists(Sim::builtPluginPath(plugin))) continue;
        for (const Case& c : cases) {
            const fs::path out = scratch(std::string(plugin) + c.extension);
            const Outcome outcome =
                runTool(std::string("render ") + plugin + " -o '" + out.string() + "' " + c.options);
            EXPECT_EQ(outcome.status, 0) << plugin << ", " << c.name << ": " << outcome.err;
            ASSERT_TRUE(fs::exists(out)) << plugin << ", " << c.name;
            const std::string size = std::to_string(c.width) + " x " + std::to_string(c.height);
            EXPECT_EQ(outcome.out.rfind("wrote " + out.string() + " (" + size + ", ", 0), 0u)
                << plugin << ", " << c.name << ": " << outcome.out;
            EXPECT_EQ(lines(outcome.out), 1) << plugin << ", " << c.name << ": " << outcome.out;
            // Standard error is a file here: progress lines only when asked for, and then nothing else.
            if (std::string(c.options).find("--progress") == std::string::npos) {
                EXPECT_EQ(outcome.err, "") << plugin << ", " << c.name;
            } else {
                std::istringstream reports(outcome.err);
                for (std::string line; std::getline(reports, line);) {
                    EXPECT_EQ(line.rfind("progress ", 0), 0u) << plugin << ", " << c.name << ": " << line;
                }
                if (std::string(plugin) == "MorvelGlow") {
                    EXPECT_GT(lines(outcome.err), 0) << c.name;
                }
            }
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
    const fs::path small = scratch("small.png");
    Sim::saveImage(small.string(), Sim::Image(8, 4, PF_PixelFormat_ARGB32).def());
    const fs::path jpeg = scratch("never.jpg");
    // With --progress, a render that had begun would have printed its progress before the refusal.
    const std::string checked = "render MorvelGlow --progress";
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
        {"an output of another format", checked + " -o '" + jpeg.string() + "'", "unknown extension; use .png or .exr"},
        {"an output in a missing folder", checked + " -o /no/such/folder/out.png", "cannot be created"},
        {"an unknown OpenEXR compression", checked + " --exr-compression fast -o '" + scratch("x.exr").string() + "'",
         "fast"},
        {"a PNG compression of 10", checked + " --png-compression 10" + o, "--png-compression"},
        {"an OpenEXR type of int", checked + " --exr-type int" + o, "half or float"},
        {"a downsampling beyond a side of the input", checked + " -i '" + small.string() + "' --downsample 5" + o,
         "--downsample 5 is larger than a side of the 8 x 4 input"},
        {"a slider above its valid range", checked + " --set 'Blur Radius=500'" + o,
         "\"Blur Radius\" must be from 0 to 200, not 500"},
        {"a slider below its valid range", checked + " --set 'Blur Radius=-5'" + o, "from 0 to 200, not -5"},
        {"a whole-number slider given a fraction", checked + " --set 'Beam Number=2.5'" + o, "whole number"},
        {"a whole-number slider beyond its range", checked + " --set 'Beam Number=21'" + o, "from 1 to 20"},
        {"a colour component above 1", checked + " --set 'Reference Color=1.5,0,0'" + o, "must each be from 0 to 1"},
        {"a colour component below 0", checked + " --set 'Reference Color=0,-0.1,0'" + o, "must each be from 0 to 1"},
        {"an expression the language rejects", checked + " --set 'Custom Channel=r+*g'" + o,
         "\"Custom Channel\": the plug-in does not accept 'r+*g'"},
        {"a toner expression the language rejects", checked + " --set 'Toner Custom Channel=(r'" + o,
         "does not accept"},
        {"an expression longer than its block", checked + " --set 'Custom Channel=" + std::string(256, 'r') + "'" + o,
         "at most 255 bytes"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = runTool(c.arguments);
        EXPECT_NE(outcome.status, 0) << c.name;
        EXPECT_EQ(lines(outcome.err), 1) << c.name << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.mentions), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_FALSE(fs::exists(out)) << c.name;
        EXPECT_FALSE(fs::exists(jpeg)) << c.name;
    }
    fs::remove(small);
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
         {1, 3, 1, 2.5f},
         {255, 255, 128, 0},
         {1, 10, 20, 45},
         -1},
        {"an item by number, points at half",
         "--set Mode=4 --set 'Spot=10,20' --downsample 2",
         {1, 4, 0, 1},
         {255, 0, 0, 0},
         {1, 5, 10, 0},
         -1},
        {"a layer",
         "--layer 'Other Layer=" + layer.string() + "'",
         {1, 1, 0, 1},
         {255, 0, 0, 0},
         {1, 120, 80, 0},
         64 / 255.0f},
        {"a layer at half",
         "--downsample 2 --layer 'Other Layer=" + layer.string() + "'",
         {1, 1, 0, 1},
         {255, 0, 0, 0},
         {1, 60, 40, 0},
         64 / 255.0f},
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
        const Outcome outcome = runTool(std::string("render '") + MORVEL_PROBE_PLUGIN + "' --depth 32 -o '" +
                                        out.string() + "' " + c.options);
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

// The probe passes a picture narrower than four pixels through unchanged, so what comes out is the
// input at the depth the frame was rendered at.
TEST(MorvelRender, WithoutDepthTheRenderKeepsTheInputsDepth) {
    // Opaque, on none of the coarser depths' grids.
    const float kValues[] = {0.123457f, 0.654321f, 0.900001f, 0.0101f, 0.333333f, 0.987654f};
    auto picture = [&](PF_PixelFormat format) {
        Sim::Image image(3, 2, format);
        for (int32_t i = 0; i < 6; ++i) {
            const PF_PixelFloat p{1.0f, kValues[i], 1.0f - kValues[i], kValues[i] * kValues[i]};
            if (format == PF_PixelFormat_ARGB32) Sim::fromUnit(Sim::toUnit(p), &image.at<PF_Pixel>(i % 3, i / 3));
            if (format == PF_PixelFormat_ARGB64) Sim::fromUnit(Sim::toUnit(p), &image.at<PF_Pixel16>(i % 3, i / 3));
            if (format == PF_PixelFormat_ARGB128) image.at<PF_PixelFloat>(i % 3, i / 3) = p;
        }
        return image;
    };
    // Channels as 0..1, whatever the depth.
    auto unit = [](const Sim::Image& image, int32_t x, int32_t y) {
        switch (image.format()) {
            case PF_PixelFormat_ARGB32: return Sim::toUnit(image.at<PF_Pixel>(x, y));
            case PF_PixelFormat_ARGB64: return Sim::toUnit(image.at<PF_Pixel16>(x, y));
            default: return Sim::toUnit(image.at<PF_PixelFloat>(x, y));
        }
    };
    // A value after a world of `depth` bits.
    auto at = [](double v, int depth) {
        return depth == 8 ? std::round(v * 255) / 255 : depth == 16 ? std::round(v * 32768) / 32768 : v;
    };
    struct Case {
        const char* name;
        PF_PixelFormat input;
        const char* options;
        const char* extension;
        int kept;  // the depth whose values come out
    } cases[] = {
        {"8-bit PNG", PF_PixelFormat_ARGB32, "", ".png", 8},
        {"16-bit PNG", PF_PixelFormat_ARGB64, "", ".png", 16},
        {"OpenEXR", PF_PixelFormat_ARGB128, "", ".exr", 32},
        {"OpenEXR at --depth 8", PF_PixelFormat_ARGB128, "--depth 8", ".exr", 8},
        {"OpenEXR at --depth 16", PF_PixelFormat_ARGB128, "--depth 16", ".exr", 16},
        {"16-bit PNG at --depth 8", PF_PixelFormat_ARGB64, "--depth 8", ".png", 8},
        // A float frame written to PNG goes through the file's 16 bits.
        {"OpenEXR to PNG", PF_PixelFormat_ARGB128, "", ".png", 16},
    };
    for (const Case& c : cases) {
        const fs::path in = scratch(std::string("depth_in") + (c.input == PF_PixelFormat_ARGB128 ? ".exr" : ".png"));
        const fs::path out = scratch(std::string("depth_out") + c.extension);
        Sim::saveImage(in.string(), picture(c.input).def());
        const Sim::Image source = Sim::loadImage(in.string());
        const Outcome outcome = runTool(std::string("render '") + MORVEL_PROBE_PLUGIN + "' -i '" + in.string() +
                                        "' -o '" + out.string() + "' " + c.options);
        ASSERT_EQ(outcome.status, 0) << c.name << ": " << outcome.err;
        const Sim::Image back = Sim::loadImage(out.string());
        ASSERT_EQ(back.width(), 3) << c.name;
        for (int32_t i = 0; i < 6; ++i) {
            const auto want = unit(source, i % 3, i / 3);
            const auto got = unit(back, i % 3, i / 3);
            EXPECT_NEAR(got.red, at(want.red, c.kept), 1e-7) << c.name << ", pixel " << i;
            EXPECT_NEAR(got.green, at(want.green, c.kept), 1e-7) << c.name << ", pixel " << i;
            EXPECT_NEAR(got.blue, at(want.blue, c.kept), 1e-7) << c.name << ", pixel " << i;
        }
        if (std::string(c.extension) == ".png") {
            // An opaque picture is written without alpha at every depth: colour type 2 in the header.
            std::ifstream file(out, std::ios::binary);
            char header[26] = {};
            file.read(header, sizeof header);
            EXPECT_EQ(int(header[25]), 2) << c.name;
        }
        fs::remove(in);
        fs::remove(out);
    }
}

// Settings that must mean the same to the effect give the same picture.
TEST(MorvelRender, AnExpressionOfOneChannelRendersAsThatChannel) {
    if (!fs::exists(Sim::builtPluginPath("MorvelGlow"))) GTEST_SKIP() << "the glow is not built";
    struct Case {
        const char* name;
        std::string expression;
        std::string channel;
    } cases[] = {
        {"custom channel r", "--set Channel=Custom --set 'Custom Channel=r'", "--set Channel=Red"},
        {"toner custom channel g",
         "--set Tones=Duotone --set 'Use Different Channel=on' --set 'Toner Channel=Custom' --set 'Toner Custom "
         "Channel=g'",
         "--set Tones=Duotone --set 'Use Different Channel=on' --set 'Toner Channel=Green'"},
    };
    for (const Case& c : cases) {
        const fs::path a = scratch("expression.exr");
        const fs::path b = scratch("channel.exr");
        const std::string render = "render MorvelGlow --depth 32 --downsample 2 -o ";
        const Outcome first = runTool(render + "'" + a.string() + "' " + c.expression);
        const Outcome second = runTool(render + "'" + b.string() + "' " + c.channel);
        ASSERT_EQ(first.status, 0) << c.name << ": " << first.err;
        ASSERT_EQ(second.status, 0) << c.name << ": " << second.err;
        const Sim::Image x = Sim::loadImage(a.string());
        const Sim::Image y = Sim::loadImage(b.string());
        ASSERT_EQ(x.width(), y.width()) << c.name;
        double largest = 0;
        for (int32_t row = 0; row < x.height(); ++row) {
            for (int32_t col = 0; col < x.width(); ++col) {
                const PF_PixelFloat p = x.at<PF_PixelFloat>(col, row), q = y.at<PF_PixelFloat>(col, row);
                largest = std::max({largest, double(std::fabs(p.red - q.red)), double(std::fabs(p.green - q.green)),
                                    double(std::fabs(p.blue - q.blue)), double(std::fabs(p.alpha - q.alpha))});
            }
        }
        EXPECT_LT(largest, 1e-5) << c.name;
        fs::remove(a);
        fs::remove(b);
    }
}

}  // namespace
