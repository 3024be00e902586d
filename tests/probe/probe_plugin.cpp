// MorvelProbe: an effect of the tests' own, loaded by the morvel command. It registers one
// parameter of each kind the command sets, passes its layer through, and writes the values it
// checked out into the first pixels of the output's top row, so that a test can read back what
// --set and --layer delivered.

#include <cstring>

#include "Util/AEGP_SuiteHandler.h"
#include "Util/Smart_Utils.h"
#include "library/default/default.h"
#include "library/plugin/entry_guard.h"
#include "library/plugin/exports.h"
#include "library/plugin/pipl.h"
#include "library/plugin/pre_render_data.h"
#include "support/add_param.h"

namespace {

constexpr Morvel::Default::Version kVersion{1, 0, 0, 0, 0};
constexpr int32_t kOutFlags = PF_OutFlag_DEEP_COLOR_AWARE;
constexpr int32_t kOutFlags2 = PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE;

constexpr Morvel::Plugin::PiplValues kPiplValues{.name = "MorvelProbe",
                                                 .category = "Morvel",
                                                 .entryPoint = "EntryPointFunc",
                                                 .matchName = "MorvelProbe",
                                                 .version = kVersion.packed(),
                                                 .outFlags = kOutFlags,
                                                 .outFlags2 = kOutFlags2};

[[gnu::used, gnu::section(MORVEL_PIPL_SECTION)]] constexpr auto kPropertyList =
    Morvel::Plugin::buildPipl<kPiplValues>();

enum Param { kInput, kMode, kFlip, kTint, kSpot, kGain, kTurn, kOther, kCount };

PF_Err paramsSetup(PF_InData* in, PF_OutData* out) {
    PF_Err err = addTestParam(in, PF_Param_POPUP, "Mode", kMode, [](PF_ParamDefUnion& u) {
        u.pd.namesptr = "One|(-|Three|Four";
        u.pd.num_choices = 4;
        u.pd.dephault = 1;
        u.pd.value = 1;
    });
    if (!err) err = addTestParam(in, PF_Param_CHECKBOX, "Flip", kFlip, [](PF_ParamDefUnion& u) { u.bd.nameptr = ""; });
    if (!err)
        err = addTestParam(in, PF_Param_COLOR, "Tint", kTint, [](PF_ParamDefUnion& u) {
            u.cd.dephault = {255, 0, 0, 0};
        });
    if (!err) {
        err = addTestParam(in, PF_Param_POINT, "Spot", kSpot, [](PF_ParamDefUnion& u) {
            u.td.x_dephault = 50 << 16;
            u.td.y_dephault = 50 << 16;
        });
    }
    if (!err) {
        err = addTestParam(in, PF_Param_FLOAT_SLIDER, "Gain", kGain, [](PF_ParamDefUnion& u) {
            u.fs_d.valid_max = u.fs_d.slider_max = 10;
            u.fs_d.dephault = 1;
            u.fs_d.precision = 2;
        });
    }
    if (!err) err = addTestParam(in, PF_Param_ANGLE, "Turn", kTurn, [](PF_ParamDefUnion&) {});
    if (!err) err = addTestParam(in, PF_Param_LAYER, "Other Layer", kOther, [](PF_ParamDefUnion&) {});
    out->num_params = kCount;
    return err;
}

PF_Err preRender(PF_InData* in, PF_PreRenderExtra* extra) {
    AEGP_SuiteHandler suites(in->pica_basicP);
    void* data = nullptr;
    if (PF_Err err = Morvel::Plugin::createPreRenderData(suites, extra, 8, &data)) return err;
    PF_RenderRequest request = extra->input->output_request;
    PF_CheckoutResult checkout{};
    PF_Err err = extra->cb->checkout_layer(in->effect_ref, 0, 0, &request, in->current_time, in->time_step,
                                           in->time_scale, &checkout);
    if (!err) {
        UnionLRect(&checkout.result_rect, &extra->output->result_rect);
        UnionLRect(&checkout.max_result_rect, &extra->output->max_result_rect);
    }
    return err;
}

struct Values {
    PF_ParamDef params[kCount]{};
};

// Checks every parameter out, hands the records to `use`, checks them back in.
template <typename Use>
PF_Err withValues(PF_InData* in, Use&& use) {
    Values values;
    int out = 1;
    PF_Err err = PF_Err_NONE;
    for (; out < kCount && !err; ++out) {
        err = in->inter.checkout_param(in->effect_ref, out, in->current_time, in->time_step, in->time_scale,
                                       &values.params[out]);
    }
    if (err) --out;
    if (!err) err = use(values);
    for (int i = 1; i < out; ++i) in->inter.checkin_param(in->effect_ref, &values.params[i]);
    return err;
}

PF_PixelFloat firstPixel(const PF_LayerDef& world) {
    switch (world.pixel_format) {
        case PF_PixelFormat_ARGB128: return *static_cast<const PF_PixelFloat*>(world.data);
        case PF_PixelFormat_ARGB64: {
            const PF_Pixel16 p = *static_cast<const PF_Pixel16*>(world.data);
            return {p.alpha / 32768.0f, p.red / 32768.0f, p.green / 32768.0f, p.blue / 32768.0f};
        }
        default: {
            const PF_Pixel p = *static_cast<const PF_Pixel*>(world.data);
            return {p.alpha / 255.0f, p.red / 255.0f, p.green / 255.0f, p.blue / 255.0f};
        }
    }
}

PF_Err render(PF_InData* in, PF_SmartRenderExtra* extra) {
    PF_LayerDef* input = nullptr;
    PF_LayerDef* output = nullptr;
    PF_Err err = extra->cb->checkout_layer_pixels(in->effect_ref, 0, &input);
    if (!err) err = extra->cb->checkout_output(in->effect_ref, &output);
    if (err || input == nullptr || output == nullptr) return err;
    err = in->utils->copy(in->effect_ref, input, output, nullptr, nullptr);
    // The readings need a float output a few pixels wide; other frames are a plain pass-through.
    if (err || output->pixel_format != PF_PixelFormat_ARGB128 || output->width < 4) return err;
    return withValues(in, [&](const Values& v) {
        const PF_ParamDefUnion* p[kCount];
        for (int i = 1; i < kCount; ++i) p[i] = &v.params[i].u;
        auto* row = static_cast<PF_PixelFloat*>(output->data);
        row[0] = {1.0f, float(p[kMode]->pd.value), float(p[kFlip]->bd.value), float(p[kGain]->fs_d.value)};
        const PF_Pixel tint = p[kTint]->cd.value;
        row[1] = {float(tint.alpha), float(tint.red), float(tint.green), float(tint.blue)};
        row[2] = {1.0f, p[kSpot]->td.x_value / 65536.0f, p[kSpot]->td.y_value / 65536.0f,
                  p[kTurn]->ad.value / 65536.0f};
        const PF_LayerDef& other = p[kOther]->ld;
        // Opaque, so that the mark survives a file's premultiplied colour.
        row[3] = other.data != nullptr ? firstPixel(other) : PF_PixelFloat{1.0f, -1.0f, 0.0f, 0.0f};
        return PF_Err_NONE;
    });
}

}  // namespace

const Morvel::Plugin::PluginInfo MPluginInfo = {nullptr, 0, 0, nullptr, nullptr, nullptr};

PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef* output, void* extra) {
    return Morvel::Plugin::runGuarded([&]() -> PF_Err {
        switch (cmd) {
            case PF_Cmd_GLOBAL_SETUP:
                return Morvel::Default::GlobalSetup(kVersion, kOutFlags, kOutFlags2, in, out, nullptr, output);
            case PF_Cmd_GLOBAL_SETDOWN: return Morvel::Default::GlobalSetdown(in);
            case PF_Cmd_PARAMS_SETUP: return paramsSetup(in, out);
            case PF_Cmd_SMART_PRE_RENDER: return preRender(in, static_cast<PF_PreRenderExtra*>(extra));
            case PF_Cmd_SMART_RENDER: return render(in, static_cast<PF_SmartRenderExtra*>(extra));
            default: return PF_Err_NONE;
        }
    });
}
