// The fault sweep: every command a plug-in answers, driven through the stand-in host as the host
// drives it. Each row runs once clean with the fault plan's trace on; then, each time on a fresh
// host, every traced call fails in turn (per-pixel calls: the first, middle and last) with the
// codes 4 and 512, every suite the command took is made missing, and abort is answered at each
// poll. Every run must return the injected code or one kAllowed lists for that function, leave
// the ledger balanced and without fault, and let no exception out of the entry.
//
// Adding a row is one line in kRows: the plug-in's file name, a label, the steps that bring a
// fresh instance to where the command is due (not swept), and the command itself, e.g.
//     {"MorvelGlow", "frame 16-bit final", glowFrame(finalWithoutKernels), smartRender(16)},
// where `glowFrame` and `smartRender` are among the helpers below. Rows of a command
// the plug-in does not answer yet are skipped by their preparation (see withParameters).
//
// Every row must fail something: the coverage test at the end refuses a row whose command makes no
// call the host can fail, and names each faultable function no row reaches with its reason.
//
// MORVEL_SWEEP_FULL=1 fails every call of the per-pixel functions too, not only three of them;
// MORVEL_SWEEP_TRACE=1 prints each row's clean trace.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Util/HostHandles.h"
#include "host/sim/arbitrary_param.h"
#include "host/sim/drawing.h"
#include "host/sim/frame.h"
#include "host/sim/iterate.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/sim/script.h"
#include "host/sim/windows.h"
#include "library/custom_data/color_expression_data/color_expression_data.h"
#include "library/default/default.h"
#include "library/plugin/entry_guard.h"
#include "support/case_name.h"
#include "support/view_window.h"
#include "tiltshift/parameter_table.h"

namespace {

// ---------------------------------------------------------------- an entry of the sweep's own

// The library's colour-expression parameter behind an entry wired as an effect wires it, so that
// its event and arbitrary-data paths are swept whether or not an effect registers one yet.
constexpr char kExpressionEffect[] = "library expression parameter";
constexpr int16_t kExpressionId = 7;

PF_Err registerExpression(PF_InData* in_data, PF_OutData* out_data) {
    PF_ParamDef def{};
    PF_Err err = Morvel::ColorExpressionData::NewDefaultData(in_data, out_data, nullptr, &def.u.arb_d.dephault, "r");
    if (err != PF_Err_NONE) return err;
    if (def.u.arb_d.dephault == nullptr) return PF_Err_OUT_OF_MEMORY;
    def.param_type = PF_Param_ARBITRARY_DATA;
    def.uu.id = kExpressionId;
    std::snprintf(def.name, sizeof def.name, "Custom Channel");
    def.u.arb_d.id = kExpressionId;
    err = in_data->inter.add_param(in_data->effect_ref, -1, &def);
    // A default the host refused is the effect's to give back.
    if (err != PF_Err_NONE) HostDisposeHandle(in_data, def.u.arb_d.dephault);
    out_data->num_params = 2;
    return err;
}

PF_Err expressionEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                       void* extra) {
    return Morvel::Plugin::runGuarded([&]() -> PF_Err {
        constexpr Morvel::Default::Version version{1, 0, 0, 3, 0};
        switch (cmd) {
            case PF_Cmd_GLOBAL_SETUP:
                return Morvel::Default::GlobalSetup(version, PF_OutFlag_CUSTOM_UI, 0, in_data, out_data, params,
                                                    output);
            case PF_Cmd_GLOBAL_SETDOWN: return Morvel::Default::GlobalSetdown(in_data);
            case PF_Cmd_PARAMS_SETUP: return registerExpression(in_data, out_data);
            case PF_Cmd_EVENT: {
                const auto pluginId = *reinterpret_cast<const AEGP_PluginID*>(*in_data->global_data);
                return Morvel::ColorExpressionData::HandleEvent(pluginId, in_data, out_data, params, output,
                                                                static_cast<PF_EventExtra*>(extra), 1);
            }
            case PF_Cmd_ARBITRARY_CALLBACK:
                return Morvel::ColorExpressionData::HandleData(in_data, out_data, params, output,
                                                               static_cast<PF_ArbParamsExtra*>(extra), kExpressionId);
            default: return PF_Err_NONE;
        }
    });
}

// ---------------------------------------------------------------- rows

// One instance on a fresh host, and what its command needs.
struct Stage {
    Sim::Host& host;
    Sim::PluginInstance& instance;
    std::unique_ptr<Sim::EffectControlsWindow> window;
    std::unique_ptr<Sim::ScriptEngine> engine;
    std::vector<PF_ParamDef*> params;  // the parameter array the host passes
    PF_EventExtra event{};
    int customIndex = -1;  // the first arbitrary-data parameter
    PF_ArbitraryH value = nullptr;
    std::string skip;                       // why the row cannot run yet
    std::unique_ptr<Sim::ViewWindow> view;  // a composition or layer window
};

using Step = std::function<PF_Err(Stage&)>;

struct Row {
    const char* plugin;
    const char* command;
    Step prepare;
    Step run;
};

PF_Err nothing(Stage&) { return PF_Err_NONE; }
PF_Err setUp(Stage& s) { return s.instance.globalSetup(); }

// Global set-up, parameter set-up and the instance on a layer, with the host's parameter array.
PF_Err withParameters(Stage& s) {
    if (PF_Err err = s.instance.globalSetup()) return err;
    if (PF_Err err = s.instance.paramSetup()) return err;
    if (s.instance.effect().registered.empty()) {
        s.skip = "the plug-in registers no parameters yet";
        return PF_Err_NONE;
    }
    s.instance.placeOnLayer();
    for (PF_ParamDef& value : s.instance.effect().values) s.params.push_back(&value);
    const auto& registered = s.instance.effect().registered;
    for (size_t index = 1; index < registered.size() && s.customIndex < 0; ++index) {
        if (registered[index].param_type == PF_Param_ARBITRARY_DATA) s.customIndex = static_cast<int>(index);
    }
    return PF_Err_NONE;
}

// Parameters, and the effect-controls window with a control of the colour-expression parameter.
PF_Err withControls(Stage& s) {
    if (PF_Err err = withParameters(s)) return err;
    if (s.skip.empty() && s.customIndex < 0) s.skip = "the plug-in has no arbitrary-data parameter";
    s.window = std::make_unique<Sim::EffectControlsWindow>(s.host);
    s.engine = std::make_unique<Sim::ScriptEngine>(s.host);
    if (!s.skip.empty()) return PF_Err_NONE;
    // The value the host passes with the command, as it holds it: an expression loaded from a project.
    PF_ArbitraryH current = nullptr;
    const std::string text = "r * 0.5 + g";
    std::vector<char> flat(text.begin(), text.end());
    flat.push_back('\0');
    if (PF_Err err = s.instance.arbitrary(s.customIndex)->load(flat, current)) return err;
    s.params[static_cast<size_t>(s.customIndex)]->u.arb_d.value = current;
    return PF_Err_NONE;
}

constexpr PF_Rect kControl{10, 5, 309, 25};

Step event(PF_EventExtra (*make)(Stage&)) {
    return [make](Stage& s) {
        s.event = make(s);
        return s.instance.command(PF_Cmd_EVENT, s.params.data(), nullptr, &s.event);
    };
}
PF_EventExtra drawEvent(Stage& s) { return s.window->drawEvent(s.customIndex, kControl); }
PF_EventExtra clickEvent(Stage& s) {
    s.engine->answerOk("r * 0.5 + g");
    return s.window->clickEvent(s.customIndex, kControl, {200, 15});
}

Step command(PF_Cmd cmd) {
    return [cmd](Stage& s) { return s.instance.command(cmd, s.params.empty() ? nullptr : s.params.data()); };
}

// The arbitrary-data callbacks, as the host makes them for the parameter's values.
Sim::ArbitraryParam& arbitrary(Stage& s) { return *s.instance.arbitrary(s.customIndex); }
PF_Err withValue(Stage& s) {
    if (PF_Err err = withControls(s)) return err;
    return s.skip.empty() ? arbitrary(s).create(s.value) : PF_Err_NONE;
}
PF_Err arbNew(Stage& s) { return arbitrary(s).create(s.value); }
PF_Err arbCopy(Stage& s) {
    PF_ArbitraryH copy = nullptr;
    return arbitrary(s).duplicate(s.value, copy);
}
PF_Err arbFlatten(Stage& s) {
    std::vector<char> flat;
    return arbitrary(s).save(s.value, flat);
}
PF_Err arbUnflatten(Stage& s) {
    PF_ArbitraryH loaded = nullptr;
    return arbitrary(s).load(std::vector<char>{'b', ' ', '*', ' ', '2', '\0'}, loaded);
}
PF_Err arbInterpolate(Stage& s) {
    PF_ArbitraryH mixed = nullptr;
    return arbitrary(s).interpolate(s.value, s.value, 0.5, mixed);
}
PF_Err arbCompare(Stage& s) {
    int32_t result = 0;
    return arbitrary(s).compare(s.value, s.value, result);
}

// ---------------------------------------------------------------- glow frames

void setValue(Stage& s, int id, const std::function<void(PF_ParamDefUnion&)>& change) {
    PF_ParamDef value = Sim::paramValue(s.instance.effect(), id);
    change(value.u);
    Sim::setParamValue(s.instance.effect(), id, value);
}

// An opaque grey ramp along x, 8-bit, as a layer parameter's picture.
Sim::Image rampLayer(int32_t width, int32_t height) {
    Sim::Image picture(width, height, PF_PixelFormat_ARGB32);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const auto v = static_cast<uint8_t>(255 * x / (width - 1));
            picture.at<PF_Pixel>(x, y) = PF_Pixel{255, v, v, v};
        }
    }
    return picture;
}

// The input layer as an opaque grey ramp along x, so that the threshold passes its upper part.
void rampInput(Stage& s) {
    Sim::Image& input = *s.host.worlds().hostImage(s.instance.effect().inputLayer);
    const Sim::Image ramp = rampLayer(input.width(), input.height());
    for (int32_t y = 0; y < input.height(); ++y) {
        for (int32_t x = 0; x < input.width(); ++x) input.at<PF_Pixel>(x, y) = ramp.at<PF_Pixel>(x, y);
    }
}

// A glow instance on a layer, its defaults changed as the row needs before the frame.
Step glowFrame(std::function<void(Stage&)> change) {
    return [change = std::move(change)](Stage& s) -> PF_Err {
        if (PF_Err err = withParameters(s)) return err;
        if (s.skip.empty()) change(s);
        return PF_Err_NONE;
    };
}

// Values of the glow's popups that the rows choose.
enum GlowChoice : int32_t {
    kModePreprocessing = 1,
    kModeThreshold = 2,
    kModeToner = 3,
    kBlurChannel = 2,
    kMaskLayer = 3,
    kTonesTonerMap = 4,
    kTonesTonerMapHighlight = 5,
};

void setFlag(Stage& s, int id, bool on) {
    setValue(s, id, [on](PF_ParamDefUnion& u) { u.bd.value = on ? 1 : 0; });
}
void setChoice(Stage& s, int id, int32_t choice) {
    setValue(s, id, [choice](PF_ParamDefUnion& u) { u.pd.value = choice; });
}

// The preprocessing mode with levels and a mask of the type given (Rectangle 1, Circle 2, Layer 3).
std::function<void(Stage&)> preprocessingMasked(int32_t maskType) {
    return [maskType](Stage& s) {
        setChoice(s, 1, kModePreprocessing);                                          // Rendering Mode
        setValue(s, 35, [](PF_ParamDefUnion& u) { u.fs_d.value = 10; });              // Pre Black
        setFlag(s, 40, true);                                                         // Use Mask
        setChoice(s, 42, maskType);                                                   // Mask Type
        if (maskType == kMaskLayer) s.instance.setLayerParam(43, rampLayer(40, 24));  // Mask Layer
    };
}

void thresholdPreview(Stage& s) {
    setChoice(s, 1, kModeThreshold);
    rampInput(s);
}

// The toner preview, reading a toner map.
void tonerPreview(Stage& s) {
    setChoice(s, 1, kModeToner);
    setChoice(s, 68, kTonesTonerMapHighlight);        // Tones
    s.instance.setLayerParam(72, rampLayer(16, 10));  // Toner Map
    rampInput(s);
}

// The final composite without kernels, at part opacities, with source levels and a glow layer of
// another size than the output.
void finalWithoutKernels(Stage& s) {
    setFlag(s, 7, false);                                             // Diffusion
    setValue(s, 88, [](PF_ParamDefUnion& u) { u.fs_d.value = 50; });  // Source Opacity
    setValue(s, 90, [](PF_ParamDefUnion& u) { u.fs_d.value = 10; });  // Source Black
    setValue(s, 96, [](PF_ParamDefUnion& u) { u.fs_d.value = 60; });  // Glow Opacity
    s.instance.setLayerParam(106, rampLayer(20, 12));                 // Glow Layer
}

// The glow as users first see it: the diffusion kernel alone.
void defaults(Stage& s) { rampInput(s); }

// The beam alone as the kernel.
void beamOnly(Stage& s) {
    setFlag(s, 7, false);  // Diffusion
    setFlag(s, 10, true);  // Beam
    rampInput(s);
}

// The layer kernel alone, from a layer wider than high, so that some samples fall outside it.
void layerKernelOnly(Stage& s) {
    setFlag(s, 7, false);                            // Diffusion
    setFlag(s, 16, true);                            // Kernel
    s.instance.setLayerParam(17, rampLayer(12, 8));  // Kernel Layer
    rampInput(s);
}

// Three kernels, one per colour, from every creator: diffusion, beam and layer.
void channelBlur(Stage& s) {
    setChoice(s, 4, kBlurChannel);  // Blur Type
    setFlag(s, 10, true);           // Beam
    setFlag(s, 16, true);           // Kernel
    s.instance.setLayerParam(17, rampLayer(12, 8));
    rampInput(s);
}

// The final output toned by a toner map through the threshold filter (not its preview).
void finalTonerMap(Stage& s) {
    setChoice(s, 68, kTonesTonerMap);
    s.instance.setLayerParam(72, rampLayer(16, 10));
    rampInput(s);
}

// The tilt-shift on its layer with something in every stage of its render: the layer mostly
// outside the focus area, chromatic aberration that samples, a vignette to blend.
Step tiltShiftToRender(int type) {
    return [type](Stage& s) -> PF_Err {
        if (PF_Err err = withParameters(s)) return err;
        auto set = [&s](TiltShift::ParamIndex index, const std::function<void(PF_ParamDefUnion&)>& change) {
            PF_ParamDef value = Sim::paramValue(s.instance.effect(), index);
            change(value.u);
            Sim::setParamValue(s.instance.effect(), index, value);
        };
        set(TiltShift::PARAM_TYPE, [type](PF_ParamDefUnion& u) { u.pd.value = type; });
        set(TiltShift::PARAM_INNER_WIDTH, [](PF_ParamDefUnion& u) { u.fs_d.value = 5.0; });
        set(TiltShift::PARAM_CHROMATIC_ABERRATION, [](PF_ParamDefUnion& u) { u.fs_d.value = 4.0; });
        set(TiltShift::PARAM_VIGNETTING, [](PF_ParamDefUnion& u) { u.fs_d.value = 50.0; });
        return PF_Err_NONE;
    };
}

// The tilt-shift's focus area on its 64 × 64 layer, seen in a layer window or a composition window
// where every conversion changes the point. Linear with "Focus Distance" draws every line there is.
constexpr double kFocusX = 32, kFocusY = 32, kInnerWidth = 8, kBlurAmount = 12, kRatio = 0.5;

Step focusArea(int32_t windowType, int32_t type) {
    return [windowType, type](Stage& s) -> PF_Err {
        if (PF_Err err = withParameters(s)) return err;
        constexpr double fixed = 65536.0;
        setValue(s, TiltShift::PARAM_TYPE, [type](PF_ParamDefUnion& u) { u.pd.value = type; });
        setValue(s, TiltShift::PARAM_LINEAR_MODE,
                 [](PF_ParamDefUnion& u) { u.pd.value = TiltShift::LINEAR_MODE_FOCUS_DISTANCE; });
        setValue(s, TiltShift::PARAM_CENTER, [](PF_ParamDefUnion& u) {
            u.td.x_value = static_cast<PF_Fixed>(kFocusX * fixed);
            u.td.y_value = static_cast<PF_Fixed>(kFocusY * fixed);
        });
        setValue(s, TiltShift::PARAM_INNER_WIDTH, [](PF_ParamDefUnion& u) { u.fs_d.value = kInnerWidth; });
        setValue(s, TiltShift::PARAM_BLUR_AMOUNT, [](PF_ParamDefUnion& u) { u.fs_d.value = kBlurAmount; });
        setValue(s, TiltShift::PARAM_RATIO, [](PF_ParamDefUnion& u) { u.fs_d.value = kRatio; });
        Sim::ProjectLayer& layer = *s.instance.layer();
        s.view = windowType == PF_Window_COMP ? turnedCompositionWindow(s.host, layer, 32, 32, 80, 60)
                                              : std::make_unique<Sim::ViewWindow>(s.host, windowType, &layer);
        return PF_Err_NONE;
    };
}

// A point on the outer shape: across the focus line from the centre (Direction is 0).
PF_Point outerHandle(const Stage& s, int32_t type) {
    const double outer = kInnerWidth + kBlurAmount;
    const double across = type == TiltShift::TYPE_RADIAL ? outer * kRatio : outer;
    return s.view->screenOf(kFocusX, kFocusY - across);
}

PF_Err focusDraw(Stage& s) { return s.view->draw(s.instance); }
Step focusClick(int32_t type) {
    return [type](Stage& s) { return s.view->click(s.instance, outerHandle(s, type)); };
}

// The area after a click on its outer shape, so that the drags that follow are due.
Step focusAreaGrabbed(int32_t windowType, int32_t type) {
    return [prepare = focusArea(windowType, type), click = focusClick(type)](Stage& s) -> PF_Err {
        if (PF_Err err = prepare(s)) return err;
        if (PF_Err err = click(s)) return err;
        return s.view->dragging() ? PF_Err_NONE : PF_Err_INTERNAL_STRUCT_DAMAGED;
    };
}

// The drag that ends the grab, outwards from the outer shape.
Step focusDrag(int32_t type) {
    return [type](Stage& s) {
        const PF_Point handle = outerHandle(s, type);
        return s.view->drag(s.instance, PF_Point{handle.h, handle.v - 6}, PF_Mod_NONE, true);
    };
}

// One frame of the whole layer as the host runs it: smart pre-render, then smart render.
Step smartRender(int depth, PF_RationalScale downsample = {1, 1}) {
    return [depth, downsample](Stage& s) {
        Sim::FrameRequest request;
        request.depth = depth;
        request.downsampleX = request.downsampleY = downsample;
        return s.instance.renderFrame(request).err();
    };
}

// The diffusion on the ramp with the "Wrap" given (None 1, Edge 2, Mirror 3).
Step diffusionWrap(int32_t wrap) {
    return [wrap](Stage& s) -> PF_Err {
        if (PF_Err err = withParameters(s)) return err;
        setChoice(s, 8, wrap);
        rampInput(s);
        return PF_Err_NONE;
    };
}

const Row kRows[] = {
    {"MorvelGlow", "global set-up", nothing, setUp},
    {"MorvelGlow", "global set-down", setUp, [](Stage& s) { return s.instance.globalSetdown(); }},
    {"MorvelGlow", "parameter set-up", setUp, [](Stage& s) { return s.instance.paramSetup(); }},
    {"MorvelGlow", "update the parameters' UI", withParameters, command(PF_Cmd_UPDATE_PARAMS_UI)},
    {"MorvelGlow", "expression draw", withControls, event(drawEvent)},
    {"MorvelGlow", "expression click", withControls, event(clickEvent)},
    {"MorvelGlow", "arbitrary new", withControls, arbNew},
    {"MorvelGlow", "arbitrary copy", withValue, arbCopy},
    {"MorvelGlow", "arbitrary flatten", withValue, arbFlatten},
    {"MorvelGlow", "arbitrary unflatten", withControls, arbUnflatten},
    {"MorvelGlow", "arbitrary interpolate", withValue, arbInterpolate},
    {"MorvelGlow", "arbitrary compare", withValue, arbCompare},
    {"MorvelGlow", "frame 8-bit preprocessing", glowFrame(preprocessingMasked(kMaskLayer)), smartRender(8)},
    {"MorvelGlow", "frame 16-bit preprocessing", glowFrame(preprocessingMasked(kMaskLayer)), smartRender(16)},
    {"MorvelGlow", "frame 32-bit preprocessing", glowFrame(preprocessingMasked(kMaskLayer)), smartRender(32)},
    {"MorvelGlow", "frame 8-bit final", glowFrame(finalWithoutKernels), smartRender(8)},
    {"MorvelGlow", "frame 16-bit final", glowFrame(finalWithoutKernels), smartRender(16)},
    {"MorvelGlow", "frame 32-bit final", glowFrame(finalWithoutKernels), smartRender(32)},
    {"MorvelGlow", "frame 8-bit threshold", glowFrame(thresholdPreview), smartRender(8)},
    {"MorvelGlow", "frame 16-bit threshold", glowFrame(thresholdPreview), smartRender(16)},
    {"MorvelGlow", "frame 32-bit threshold", glowFrame(thresholdPreview), smartRender(32)},
    {"MorvelGlow", "frame 8-bit toner map", glowFrame(tonerPreview), smartRender(8)},
    {"MorvelGlow", "frame 16-bit toner map", glowFrame(tonerPreview), smartRender(16)},
    {"MorvelGlow", "frame 32-bit toner map", glowFrame(tonerPreview), smartRender(32)},
    {"MorvelGlow", "frame 8-bit preprocessing, rectangle mask", glowFrame(preprocessingMasked(1)), smartRender(8)},
    {"MorvelGlow", "frame 8-bit preprocessing, circle mask", glowFrame(preprocessingMasked(2)), smartRender(8)},
    {"MorvelGlow", "frame 8-bit defaults", glowFrame(defaults), smartRender(8)},
    {"MorvelGlow", "frame 16-bit defaults", glowFrame(defaults), smartRender(16)},
    {"MorvelGlow", "frame 32-bit defaults", glowFrame(defaults), smartRender(32)},
    {"MorvelGlow", "frame 8-bit defaults at 1/2", glowFrame(defaults), smartRender(8, {1, 2})},
    {"MorvelGlow", "frame 16-bit beam", glowFrame(beamOnly), smartRender(16)},
    {"MorvelGlow", "frame 8-bit layer kernel", glowFrame(layerKernelOnly), smartRender(8)},
    {"MorvelGlow", "frame 16-bit layer kernel", glowFrame(layerKernelOnly), smartRender(16)},
    {"MorvelGlow", "frame 32-bit layer kernel", glowFrame(layerKernelOnly), smartRender(32)},
    {"MorvelGlow", "frame 32-bit channel blur", glowFrame(channelBlur), smartRender(32)},
    {"MorvelGlow", "frame 8-bit final toner map", glowFrame(finalTonerMap), smartRender(8)},
    {kExpressionEffect, "parameter set-up", setUp, [](Stage& s) { return s.instance.paramSetup(); }},
    {kExpressionEffect, "expression draw", withControls, event(drawEvent)},
    {kExpressionEffect, "expression click", withControls, event(clickEvent)},
    {kExpressionEffect, "arbitrary new", withControls, arbNew},
    {kExpressionEffect, "arbitrary copy", withValue, arbCopy},
    {kExpressionEffect, "arbitrary flatten", withValue, arbFlatten},
    {kExpressionEffect, "arbitrary unflatten", withControls, arbUnflatten},
    {kExpressionEffect, "arbitrary interpolate", withValue, arbInterpolate},
    {kExpressionEffect, "arbitrary compare", withValue, arbCompare},
    {"MorvelTiltShift", "global set-up", nothing, setUp},
    {"MorvelTiltShift", "global set-down", setUp, [](Stage& s) { return s.instance.globalSetdown(); }},
    {"MorvelTiltShift", "parameter set-up", setUp, [](Stage& s) { return s.instance.paramSetup(); }},
    {"MorvelTiltShift", "user changed a parameter", withParameters, command(PF_Cmd_USER_CHANGED_PARAM)},
    {"MorvelTiltShift", "update the parameters' UI", withParameters, command(PF_Cmd_UPDATE_PARAMS_UI)},
    {"MorvelTiltShift", "radial frame 8-bit", tiltShiftToRender(TiltShift::TYPE_RADIAL), smartRender(8)},
    {"MorvelTiltShift", "radial frame 16-bit", tiltShiftToRender(TiltShift::TYPE_RADIAL), smartRender(16)},
    {"MorvelTiltShift", "radial frame 32-bit", tiltShiftToRender(TiltShift::TYPE_RADIAL), smartRender(32)},
    {"MorvelTiltShift", "linear frame 8-bit", tiltShiftToRender(TiltShift::TYPE_LINEAR), smartRender(8)},
    {"MorvelTiltShift", "linear frame 16-bit", tiltShiftToRender(TiltShift::TYPE_LINEAR), smartRender(16)},
    {"MorvelTiltShift", "linear frame 32-bit", tiltShiftToRender(TiltShift::TYPE_LINEAR), smartRender(32)},
    {"MorvelTiltShift", "radial focus draw, layer window", focusArea(PF_Window_LAYER, TiltShift::TYPE_RADIAL),
     focusDraw},
    {"MorvelTiltShift", "linear focus draw, composition window", focusArea(PF_Window_COMP, TiltShift::TYPE_LINEAR),
     focusDraw},
    {"MorvelTiltShift", "radial focus click, layer window", focusArea(PF_Window_LAYER, TiltShift::TYPE_RADIAL),
     focusClick(TiltShift::TYPE_RADIAL)},
    {"MorvelTiltShift", "linear focus click, composition window", focusArea(PF_Window_COMP, TiltShift::TYPE_LINEAR),
     focusClick(TiltShift::TYPE_LINEAR)},
    {"MorvelTiltShift", "radial focus drag, composition window",
     focusAreaGrabbed(PF_Window_COMP, TiltShift::TYPE_RADIAL), focusDrag(TiltShift::TYPE_RADIAL)},
    {"MorvelTiltShift", "linear focus drag, layer window", focusAreaGrabbed(PF_Window_LAYER, TiltShift::TYPE_LINEAR),
     focusDrag(TiltShift::TYPE_LINEAR)},
    {"MorvelDiffusion", "global set-up", nothing, setUp},
    {"MorvelDiffusion", "global set-down", setUp, [](Stage& s) { return s.instance.globalSetdown(); }},
    {"MorvelDiffusion", "parameter set-up", setUp, [](Stage& s) { return s.instance.paramSetup(); }},
    {"MorvelDiffusion", "user changed a parameter", withParameters, command(PF_Cmd_USER_CHANGED_PARAM)},
    {"MorvelDiffusion", "update the parameters' UI", withParameters, command(PF_Cmd_UPDATE_PARAMS_UI)},
    {"MorvelDiffusion", "smart render 8-bit", withParameters, smartRender(8)},
    {"MorvelDiffusion", "smart render 16-bit", withParameters, smartRender(16)},
    {"MorvelDiffusion", "smart render float", withParameters, smartRender(32)},
    {"MorvelDiffusion", "smart render 8-bit at 1/2", withParameters, smartRender(8, {1, 2})},
    {"MorvelDiffusion", "smart render 8-bit, wrap None", diffusionWrap(1), smartRender(8)},
    {"MorvelDiffusion", "smart render 16-bit, wrap Edge", diffusionWrap(2), smartRender(16)},
};

// ---------------------------------------------------------------- reviewed mappings

// What a failed call may lead to besides the command returning the injected code, and why:
// another result (kAnyResult: whatever the command returns; kInjectedOnly: none), one entry of a
// ledger kind the host keeps because it refused to take it back, a fault the host logs about that
// same refusal.
constexpr PF_Err kAnyResult = -1;
constexpr PF_Err kInjectedOnly = PF_Err_NONE;
struct Allowed {
    const char* function;
    PF_Err result;
    const char* kept;
    const char* fault;
    const char* reason;
};
const Allowed kAllowed[] = {
    {"AcquireSuite", PF_Err_BAD_CALLBACK_PARAM, nullptr, nullptr,
     "the suite handler raises any suite it cannot get as 516"},
    {"ReleaseSuite", kAnyResult, nullptr, nullptr, "suites go back in destructors, where an error has no one to go to"},
    {"host_new_handle", PF_Err_INTERNAL_STRUCT_DAMAGED, nullptr, nullptr,
     "the callback answers no handle and no code; global set-up reports 512"},
    {"host_new_handle", PF_Err_OUT_OF_MEMORY, nullptr, nullptr,
     "the callback answers no handle and no code; a colour-expression value that cannot be made is 4"},
    {"host_lock_handle", PF_Err_INTERNAL_STRUCT_DAMAGED, nullptr, nullptr,
     "the callback answers no pointer and no code; a handle that cannot be read or written is 512"},
    {"AEGP_DisposeEffect", kInjectedOnly, "effect reference", nullptr,
     "the host keeps a reference it refused to dispose"},
    {"AEGP_DisposeStream", kInjectedOnly, "stream reference", nullptr,
     "the host keeps a reference it refused to dispose"},
    {"AEGP_DisposeStreamValue", kInjectedOnly, "stream value", nullptr, "the host keeps a value it refused to dispose"},
    {"AEGP_FreeMemHandle", kInjectedOnly, "memory handle", nullptr, "the host keeps a handle it refused to free"},
    {"AEGP_UnlockMemHandle", kInjectedOnly, "memory lock", "freed while locked",
     "the host keeps a lock it refused to undo, and says so when the handle is then freed"},
    {"DRAWBOT_ReleaseObject", kAnyResult, "drawbot", nullptr,
     "brushes and fonts go back in destructors, where an error has no one to go to; the host keeps them"},
    {"progress", kAnyResult, nullptr, nullptr, "progress reports are a courtesy; their errors may be dropped"},
    {"host_lock_handle", PF_Err_OUT_OF_MEMORY, nullptr, nullptr,
     "pre-render data that cannot be locked ends the smart pre-render with 4"},
    {"host_lock_handle", PF_Err_BAD_CALLBACK_PARAM, nullptr, nullptr,
     "global or pre-render data that cannot be read at smart render (or the UI update) is 516"},
    {"checkin_param", kAnyResult, "param checkout", nullptr,
     "the host keeps a check-out it refused to take back; layer parameters go back in destructors, where an "
     "error has no one to go to"},
    {"dispose_world", kAnyResult, "world", nullptr,
     "a render's own worlds go back in destructors, where an error has no one to go to; the host keeps them"},
    {"PF_DisposeWorld", kAnyResult, "world", nullptr,
     "a render's own worlds go back in destructors, where an error has no one to go to; the host keeps them"},
};

bool resultAllowed(const std::string& function, PF_Err injected, PF_Err result) {
    if (result == injected) return true;
    for (const Allowed& a : kAllowed) {
        if (function == a.function && a.result != kInjectedOnly && (a.result == kAnyResult || a.result == result)) {
            return true;
        }
    }
    return false;
}

bool keptAllowed(const std::string& function, const std::string& kind) {
    for (const Allowed& a : kAllowed) {
        if (function == a.function && a.kept != nullptr && kind.rfind(a.kept, 0) == 0) return true;
    }
    return false;
}

bool faultAllowed(const std::string& function, const std::string& fault) {
    for (const Allowed& a : kAllowed) {
        if (function == a.function && a.fault != nullptr && fault.find(a.fault) != std::string::npos) return true;
    }
    return false;
}

// ---------------------------------------------------------------- one run

struct Outcome {
    PF_Err result = PF_Err_NONE;
    std::string skip;
    std::vector<Sim::FaultPlan::TracedCall> trace;
    std::map<std::string, int> hotCalls;
    std::vector<std::pair<std::string, int>> suites;  // acquired during the command
    int polls = 0;
    std::vector<std::string> unfired;
    std::vector<std::string> problems;   // found after the instance went
    std::map<std::string, size_t> held;  // by ledger kind, after the instance went
    std::vector<std::string> faults;     // the ledger's
    std::string ledger;                  // its report
};

const Sim::Plugin& plugin(const std::string& name) {
    static std::map<std::string, std::unique_ptr<Sim::Plugin>> loaded;
    auto& slot = loaded[name];
    if (!slot) slot = std::make_unique<Sim::Plugin>(Sim::builtPluginPath(name));
    return *slot;
}

// The row on a fresh host: prepared, then `arm` plans what fails, then the command runs.
Outcome runRow(const Row& row, const std::function<void(Sim::Host&)>& arm, bool traced) {
    Outcome out;
    Sim::Host host;
    // Bands run in order on one thread, so that every run of a row makes the same calls.
    host.iteration().setProcessors(4);
    host.iteration().setDeterministic(true);
    {
        Sim::PluginInstance instance = std::string(row.plugin) == kExpressionEffect
                                           ? Sim::PluginInstance(host, expressionEntry, "Expression")
                                           : Sim::PluginInstance(host, plugin(row.plugin));
        Stage stage{host, instance, {}, {}, {}, {}, -1, nullptr, {}, {}};
        if (PF_Err err = row.prepare(stage)) {
            out.problems.push_back("preparation failed with " + std::to_string(err));
        } else if (!stage.skip.empty()) {
            out.skip = stage.skip;
        } else {
            // Ordinals count from the command on, as the trace does.
            host.faults().clear();
            host.log().clear();
            host.faults().setTracing(traced);
            arm(host);
            out.result = row.run(stage);
            if (traced) {
                out.trace = host.faults().trace();
                for (int hot = 0; hot < static_cast<int>(Sim::HotCall::Count); ++hot) {
                    const std::string name(Sim::FaultPlan::nameOf(static_cast<Sim::HotCall>(hot)));
                    if (int calls = host.faults().calls(name)) out.hotCalls[name] = calls;
                }
                for (const std::string& line : host.log().lines()) {
                    const std::string prefix = "AcquireSuite ";
                    if (line.rfind(prefix, 0) != 0) continue;
                    const size_t v = line.rfind(" v");
                    out.suites.emplace_back(line.substr(prefix.size(), v - prefix.size()),
                                            std::stoi(line.substr(v + 2)));
                }
                out.polls = host.iteration().abortPolls();
            }
            out.unfired = host.faults().unfired();
            host.faults().clear();
            host.iteration().abortAfterPolls(-1);
        }
        for (const std::string& violation : instance.violations()) out.problems.push_back("violation: " + violation);
    }
    out.held = host.ledger().heldByKind();
    out.faults = host.ledger().faults();
    out.ledger = host.ledger().report();
    for (const std::string& function : host.faults().unregisteredCalls()) {
        out.problems.push_back("unregistered host function " + function);
    }
    return out;
}

bool fullMatrix() {
    const char* full = std::getenv("MORVEL_SWEEP_FULL");
    return full != nullptr && std::string(full) == "1";
}

// The ordinals of a per-pixel function that are failed.
std::set<int> hotOrdinals(int calls) {
    if (fullMatrix()) {
        std::set<int> all;
        for (int n = 1; n <= calls; ++n) all.insert(n);
        return all;
    }
    return {1, (calls + 1) / 2, calls};
}

// ---------------------------------------------------------------- the sweep

class FaultSweep : public ::testing::TestWithParam<Row> {};

TEST_P(FaultSweep, EveryFailureIsReportedAndNothingIsLeft) {
    const Row& row = GetParam();
    const Outcome clean = runRow(
        row, [](Sim::Host&) {}, true);
    if (!clean.skip.empty()) GTEST_SKIP() << clean.skip;
    for (const std::string& problem : clean.problems) ADD_FAILURE() << "clean run: " << problem;
    EXPECT_TRUE(clean.held.empty() && clean.faults.empty()) << "clean run:\n" << clean.ledger;
    ASSERT_EQ(clean.result, PF_Err_NONE) << "the clean run fails";
    if (std::getenv("MORVEL_SWEEP_TRACE") != nullptr) {
        for (const auto& call : clean.trace) std::cout << "  " << call.function << " #" << call.ordinal << "\n";
    }

    int runs = 0;
    auto check = [&](const std::string& what, const std::function<void(Sim::Host&)>& arm, PF_Err expected,
                     const std::string& function) {
        const Outcome out = runRow(row, arm, false);
        ++runs;
        EXPECT_TRUE(resultAllowed(function, expected, out.result))
            << what << ": returned " << out.result << " instead of " << expected;
        for (const std::string& problem : out.problems) ADD_FAILURE() << what << ": " << problem;
        size_t kept = 0;
        for (const auto& [kind, count] : out.held) {
            if (keptAllowed(function, kind)) {
                kept += count;
            } else {
                ADD_FAILURE() << what << ": " << count << " " << kind << " left\n" << out.ledger;
            }
        }
        EXPECT_LE(kept, 1u) << what << ": the host keeps more than the one object it refused\n" << out.ledger;
        for (const std::string& fault : out.faults) {
            EXPECT_TRUE(faultAllowed(function, fault)) << what << ": ledger fault: " << fault;
        }
        for (const std::string& planned : out.unfired) ADD_FAILURE() << what << ": never came: " << planned;
    };

    for (const PF_Err code : {PF_Err_OUT_OF_MEMORY, PF_Err_INTERNAL_STRUCT_DAMAGED}) {
        for (const auto& call : clean.trace) {
            check(
                call.function + " #" + std::to_string(call.ordinal) + " fails with " + std::to_string(code),
                [&](Sim::Host& host) { host.faults().failCall(call.function, call.ordinal, code); }, code,
                call.function);
        }
        for (const auto& hot : clean.hotCalls) {
            const std::string& function = hot.first;
            for (int nth : hotOrdinals(hot.second)) {
                check(
                    function + " #" + std::to_string(nth) + " fails with " + std::to_string(code),
                    [&](Sim::Host& host) { host.faults().failCall(function, nth, code); }, code, function);
            }
        }
    }
    std::set<std::pair<std::string, int>> suites(clean.suites.begin(), clean.suites.end());
    for (const auto& suite : suites) {
        const std::string& name = suite.first;
        const int version = suite.second;
        check(
            name + " v" + std::to_string(version) + " missing",
            [&](Sim::Host& host) { host.faults().makeSuiteMissing(name, version); }, PF_Err_BAD_CALLBACK_PARAM,
            "AcquireSuite");
    }
    for (int poll = 0; poll < clean.polls; ++poll) {
        check(
            "abort at poll " + std::to_string(poll + 1),
            [&](Sim::Host& host) { host.iteration().abortAfterPolls(poll); }, PF_Interrupt_CANCEL, "abort");
    }
    std::cout << "[ sweep    ] " << row.plugin << " " << row.command << ": " << runs << " runs, " << clean.trace.size()
              << " calls traced\n";
}

std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return caseName(std::string(info.param.plugin) + " " + info.param.command);
}

INSTANTIATE_TEST_SUITE_P(Commands, FaultSweep, ::testing::ValuesIn(kRows), rowName);

// Faultable host functions that no row reaches, each with its reason. The stand-in offers them
// because the host does; a plug-in that starts calling one needs a row that reaches it.
struct Unreached {
    const char* function;
    const char* reason;
};
constexpr char kNoCaller[] = "no plug-in calls it, nor any library code";
constexpr char kStreamsOnly[] =
    "only the library's stream class calls it (layer, mask and parent streams, keyframes, expressions, hiding), "
    "and no plug-in uses that class";
constexpr char kEffectHandleOnly[] =
    "only the library's effect handle calls it (applying an effect, its flags, name, index, order and key); the "
    "plug-ins use the handle only to get and dispose the effect reference";
const Unreached kUnreached[] = {
    {"AEGP_AddKeyframe", kStreamsOnly},
    {"AEGP_ApplyEffect", kEffectHandleOnly},
    {"AEGP_EndAddKeyframes", kStreamsOnly},
    {"AEGP_GetDynamicStreamFlags", kStreamsOnly},
    {"AEGP_GetEffectFlags", kEffectHandleOnly},
    {"AEGP_GetExpression", kStreamsOnly},
    {"AEGP_GetExpressionState", kStreamsOnly},
    {"AEGP_GetInstalledKeyFromLayerEffect", kEffectHandleOnly},
    {"AEGP_GetKeyframeTime", kStreamsOnly},
    {"AEGP_GetLayerEffectByIndex", kEffectHandleOnly},
    {"AEGP_GetNewLayerStream", kStreamsOnly},
    {"AEGP_GetNewMaskStream", kStreamsOnly},
    {"AEGP_GetNewParentStreamRef", kStreamsOnly},
    {"AEGP_GetNewStreamRefForMask", kStreamsOnly},
    {"AEGP_GetStreamIndexInParent", kEffectHandleOnly},
    {"AEGP_GetStreamName", kEffectHandleOnly},
    {"AEGP_GetStreamNumKFs", kStreamsOnly},
    {"AEGP_GetStreamType", kNoCaller},
    {"AEGP_IsStreamTimevarying", kStreamsOnly},
    {"AEGP_NewMemHandle", kNoCaller},
    {"AEGP_ReorderEffect", kEffectHandleOnly},
    {"AEGP_ResizeMemHandle", kNoCaller},
    {"AEGP_SetAddKeyframe", kStreamsOnly},
    {"AEGP_SetDynamicStreamFlag", kStreamsOnly},
    {"AEGP_SetEffectFlags", kEffectHandleOnly},
    {"AEGP_SetExpression", kStreamsOnly},
    {"AEGP_SetExpressionState", kStreamsOnly},
    {"AEGP_SetStreamName", kEffectHandleOnly},
    {"AEGP_StartAddKeyframes", kStreamsOnly},
    {"DRAWBOT_AddRect", kNoCaller},
    {"DRAWBOT_FillPath", kNoCaller},
    {"DRAWBOT_Flush", kNoCaller},
    {"DRAWBOT_GetDefaultFontSize", kNoCaller},
    {"DRAWBOT_PaintRect", kNoCaller},
    {"DRAWBOT_PopStateStack", kNoCaller},
    {"DRAWBOT_PushStateStack", kNoCaller},
    {"DRAWBOT_SupportsText", kNoCaller},
    {"checkin_layer_pixels", kNoCaller},
    {"host_resize_handle", kNoCaller},
    {"nn_sample", kNoCaller},
    {"nn_sample16", kNoCaller},
    {"nn_sample_float", kNoCaller},
};

const char* unreachedReason(const std::string& function) {
    for (const Unreached& u : kUnreached) {
        if (function == u.function) return u.reason;
    }
    return nullptr;
}

// What the sweep reaches: the host functions it fails, out of all the host lets fail. A function
// neither reached nor listed above fails, and so does a listed one that a row reaches, or a row
// that fails nothing.
TEST(FaultSweepCoverage, ReachesEveryFaultableFunctionOrNamesWhyNot) {
    std::set<std::string> reached;
    int rows = 0;
    for (const Row& row : kRows) {
        const Outcome clean = runRow(
            row, [](Sim::Host&) {}, true);
        if (!clean.skip.empty()) continue;
        ++rows;
        EXPECT_FALSE(clean.trace.empty() && clean.hotCalls.empty())
            << row.plugin << " " << row.command << ": calls no host function that can fail";
        for (const auto& call : clean.trace) reached.insert(call.function);
        for (const auto& [function, calls] : clean.hotCalls) reached.insert(function);
    }
    Sim::Host host;
    const std::vector<std::string> faultable = host.faults().names();
    for (const std::string& function : reached) EXPECT_TRUE(host.faults().known(function)) << function;
    for (const Unreached& u : kUnreached) {
        EXPECT_TRUE(host.faults().known(u.function)) << u.function << ": listed, but the host has no such function";
    }
    std::string notReached;
    for (const std::string& function : faultable) {
        const char* reason = unreachedReason(function);
        if (reached.count(function) != 0) {
            EXPECT_EQ(reason, nullptr) << function << ": listed as unreached (" << reason
                                       << "), but the sweep reaches it";
        } else {
            EXPECT_NE(reason, nullptr) << function << ": the sweep does not reach it, and no reason is listed";
            notReached += "\n  " + function + ": " + (reason != nullptr ? reason : "(no reason)");
        }
    }
    std::cout << "[ sweep    ] rows run: " << rows << "; faultable host functions: " << faultable.size()
              << "; failed by the sweep: " << reached.size() << "; not reached:" << notReached << "\n";
}

}  // namespace
