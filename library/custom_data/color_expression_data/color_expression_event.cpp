#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "library/custom_data/color_expression_data/color_expression_data.h"
#include "library/custom_data/color_expression_data/dialog_script.h"
#include "library/custom_data/color_expression_data/drawbot_objects.h"
#include "library/custom_data/color_expression_data/expression_parser.h"
#include "library/string/string_conversion.h"
#include "library/utility/host_refs.h"

namespace Morvel::ColorExpressionData {

namespace {

constexpr char kEmptyText[] = "(empty)";

bool isDisabled(PF_ParamDef const& param) { return (param.ui_flags & PF_PUI_DISABLED) != 0; }

// The parameter's control frame and where its text starts.
struct Layout {
    PF_Rect frame;
    float width;
    float height;
    float indent;
};

Layout layoutOf(PF_EventExtra const& event) {
    Layout layout;
    layout.frame = event.effect_win.current_frame;
    layout.width = static_cast<float>(layout.frame.right - layout.frame.left + 1);
    layout.height = static_cast<float>(layout.frame.bottom - layout.frame.top);
    layout.indent = std::max(70.0f, 0.5f * layout.width + 15.0f);
    return layout;
}

// What can be shown of a stored text: text that is not UTF-8 is shown up to its first bad byte.
std::basic_string<DRAWBOT_UTF16Char> displayUnits(std::string const& text) {
    try {
        return convertUTF8toUTF16<DRAWBOT_UTF16Char>(text);
    } catch (Utf8Error const&) {
        const std::string shown = text.substr(0, validUTF8Length(text));
        return convertUTF8toUTF16<DRAWBOT_UTF16Char>(shown.empty() ? std::string(kEmptyText) : shown);
    }
}

PF_Err draw(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef const& param, PF_EventExtra* event) {
    const Layout layout = layoutOf(*event);
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    PF_Err err = PF_Err_NONE;
    {
        DrawbotSuitesScope drawbot(in_data, out_data);
        err = drawbot.err();
        // A value that cannot be read is not shown as "(empty)".
        std::string text;
        if (err == PF_Err_NONE) err = readValueText(in_data, param.u.arb_d.value, text);
        DRAWBOT_DrawRef drawRef = nullptr;
        if (err == PF_Err_NONE) err = suites.EffectCustomUISuite1()->PF_GetDrawingReference(event->contextH, &drawRef);
        if (err == PF_Err_NONE && drawRef != nullptr) {
            try {
                const DRAWBOT_DrawSuite1* drawSuite = suites.DrawbotDrawSuite1();
                DRAWBOT_SurfaceRef surface = nullptr;
                DRAWBOT_SupplierRef supplier = nullptr;
                checkDrawbot(drawSuite->GetSurface(drawRef, &surface));
                checkDrawbot(drawSuite->GetSupplier(drawRef, &supplier));

                const DRAWBOT_PointF32 origin{static_cast<float>(layout.frame.left) + layout.indent,
                                              static_cast<float>(layout.frame.top) + 0.8f * layout.height};
                const float fontSize = 0.8f * layout.height;
                const float textWidth = std::max(0.0f, layout.width - layout.indent);

                float alpha = isDisabled(param) ? 0.5f : 1.0f;
                if (text.empty()) {
                    text = kEmptyText;
                } else {
                    Expression parsed;
                    if (!parseExpression(text, parsed)) alpha *= 0.5f;
                }
                const DRAWBOT_ColorRGBA colour{1.0f, 1.0f, 1.0f, alpha};

                const DRAWBOT_SupplierSuite1* supplierSuite = drawbot.suites().supplier_suite;
                SharedRef<DRAWBOT_BrushP> brush(new DRAWBOT_BrushP(supplierSuite, supplier, colour));
                SharedRef<DRAWBOT_FontP> font(new DRAWBOT_FontP(supplierSuite, supplier, fontSize));
                const auto units = displayUnits(text);

                const DRAWBOT_SurfaceSuite1* surfaceSuite = suites.DrawbotSurfaceSuite1();
                checkDrawbot(surfaceSuite->SetAntiAliasPolicy(surface, kDRAWBOT_AntiAliasPolicy_High));
                checkDrawbot(surfaceSuite->DrawString(surface, brush->get(), font->get(), units.c_str(), &origin,
                                                      kDRAWBOT_TextAlignment_Left, kDRAWBOT_TextTruncation_EndEllipsis,
                                                      textWidth));
            } catch (DRAWBOT_Exception const& failure) {
                err = failure.err();
            }
        }
    }
    event->evt_out_flags = PF_EO_HANDLED_EVENT;
    return err;
}

void adjustCursor(PF_ParamDef const& param, PF_EventExtra* event) {
    if (event->effect_win.area != PF_EA_CONTROL) return;
    PF_AdjustCursorEventInfo& cursor = event->u.adjust_cursor;
    if (isDisabled(param)) {
        cursor.set_cursor = PF_Cursor_NONE;
        return;
    }
    const Layout layout = layoutOf(*event);
    const PF_Point where = cursor.screen_point;
    const double textLeft = std::trunc(static_cast<double>(layout.frame.left) + layout.indent);
    if (where.h > textLeft && where.h <= layout.frame.right && where.v > layout.frame.top &&
        where.v <= layout.frame.bottom) {
        cursor.set_cursor = PF_Cursor_EDIT_TEXT;
    }
}

// Runs the dialog; `result` receives the script's value.
PF_Err runDialog(int pluginId, AEGP_SuiteHandler& suites, std::string const& script, std::string& result) {
    MemHandle resultH(suites.MemorySuite1());
    PF_Err err = suites.UtilitySuite11()->AEGP_ExecuteScript(pluginId, script.c_str(), false, resultH.put(), nullptr);
    if (!resultH) return err;
    std::vector<char> bytes;
    if (err == PF_Err_NONE) err = resultH.read(bytes);
    result.assign(bytes.begin(), std::find(bytes.begin(), bytes.end(), '\0'));
    return firstError(err, resultH.free());
}

PF_Err storeText(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, int index, std::string const& text) {
    EffectRef effect(suites.EffectSuite2()->AEGP_DisposeEffect);
    PF_Err err = suites.PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(pluginId, in_data->effect_ref, effect.put());
    if (err == PF_Err_NONE) {
        Data data{};
        std::memcpy(data.text, text.data(), std::min(text.size(), kMaxTextBytes));
        err = SetData(pluginId, in_data, suites, effect.get(), index, &data);
    }
    return firstError(err, effect.dispose());
}

PF_Err click(int pluginId, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef const& param, PF_EventExtra* event,
             int index) {
    if (event->u.do_click.send_drag) {
        event->e_type = PF_Event_DRAG;
        return PF_Err_NONE;
    }
    if (isDisabled(param)) return PF_Err_NONE;

    const std::string name(param.name, strnlen(param.name, sizeof param.name));
    // A value that cannot be read would open an empty field, and OK would replace the text.
    std::string current;
    if (PF_Err err = readValueText(in_data, param.u.arb_d.value, current)) return err;
    std::string script;
    try {
        script = dialogScript(name, current);
    } catch (Utf8Error const&) {
        // Stored text that is not UTF-8 cannot be shown; the user starts from an empty field.
        try {
            script = dialogScript(name, "");
        } catch (Utf8Error const&) {
            script = dialogScript("", "");
        }
    }

    AEGP_SuiteHandler suites(in_data->pica_basicP);
    std::string result;
    PF_Err err = runDialog(pluginId, suites, script, result);
    if (err == PF_Err_NONE && !result.empty() && result[0] == '1') {
        err = storeText(pluginId, in_data, suites, index, cutUTF8(result.substr(1), kMaxTextBytes));
    }
    out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    return err;
}

}  // namespace

PF_Err HandleEvent(int pluginId, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params, PF_LayerDef*,
                   PF_EventExtra* event, int index) {
    if (event == nullptr || event->contextH == nullptr || event->contextH->w_type != PF_Window_EFFECT ||
        event->effect_win.index != index) {
        return PF_Err_NONE;
    }
    if (in_data == nullptr || out_data == nullptr || params == nullptr || index < 0 || params[index] == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_ParamDef const& param = *params[index];
    switch (event->e_type) {
        case PF_Event_DRAW: return draw(in_data, out_data, param, event);
        case PF_Event_ADJUST_CURSOR: adjustCursor(param, event); return PF_Err_NONE;
        case PF_Event_DO_CLICK: return click(pluginId, in_data, out_data, param, event, index);
        default: return PF_Err_NONE;
    }
}

}  // namespace Morvel::ColorExpressionData
