// morvel params PLUGIN: what the plug-in registers at parameter set-up, entry by entry.

#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/tool/command.h"
#include "host/tool/text_param.h"

namespace Tool {

namespace {

double fixed(PF_Fixed value) { return value / 65536.0; }

// Numbers as --set takes them: no trailing zeros.
std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

// r,g,b from 0 to 1, as --set takes a colour; four digits tell every 8-bit value apart.
std::string colorText(const PF_Pixel& p) {
    return number(p.red / 255.0) + "," + number(p.green / 255.0) + "," + number(p.blue / 255.0);
}

std::string layerText(int32_t dephault) {
    if (dephault == PF_LayerDefault_NONE) return "none";
    if (dephault == PF_LayerDefault_MYSELF) return "this layer";
    return std::to_string(dephault);
}

// Default, ranges and menu of one entry, as far as its type has them, each default in the
// notation --set takes.
std::string details(Sim::PluginInstance& instance, int index) {
    const PF_ParamDef& def = instance.effect().registered[size_t(index)];
    std::ostringstream out;
    const PF_ParamDefUnion& u = def.u;
    switch (def.param_type) {
        case PF_Param_LAYER: out << "default " << layerText(u.ld.dephault) << "  (set with --layer)"; break;
        case PF_Param_SLIDER:
            out << "default " << u.sd.dephault << "  valid " << u.sd.valid_min << ".." << u.sd.valid_max << "  slider "
                << u.sd.slider_min << ".." << u.sd.slider_max;
            break;
        case PF_Param_FIX_SLIDER:
            out << "default " << fixed(u.fd.dephault) << "  valid " << fixed(u.fd.valid_min) << ".."
                << fixed(u.fd.valid_max) << "  slider " << fixed(u.fd.slider_min) << ".." << fixed(u.fd.slider_max)
                << "  precision " << u.fd.precision << "  display " << u.fd.display_flags;
            break;
        case PF_Param_FLOAT_SLIDER:
            out << "default " << u.fs_d.dephault << "  valid " << u.fs_d.valid_min << ".." << u.fs_d.valid_max
                << "  slider " << u.fs_d.slider_min << ".." << u.fs_d.slider_max << "  precision " << u.fs_d.precision
                << "  display " << u.fs_d.display_flags;
            break;
        case PF_Param_ANGLE: out << "default " << fixed(u.ad.dephault) << "  (degrees)"; break;
        case PF_Param_CHECKBOX:
            out << "default " << (u.bd.dephault != 0 ? "on" : "off");
            if (u.bd.nameptr != nullptr) out << "  label \"" << u.bd.nameptr << "\"";
            break;
        case PF_Param_COLOR: out << "default " << colorText(u.cd.dephault) << "  (r,g,b from 0 to 1)"; break;
        case PF_Param_POINT:
            // The host places a default point at a share of the layer; values are layer pixels.
            out << "default " << number(fixed(u.td.x_dephault)) << "%," << number(fixed(u.td.y_dephault))
                << "% of the layer's width,height  (set as x,y in layer pixels)"
                << (u.td.restrict_bounds != 0 ? "  restricted" : "");
            break;
        case PF_Param_POINT_3D:
            out << "default " << number(u.point3d_d.x_dephault) << "," << number(u.point3d_d.y_dephault) << ","
                << number(u.point3d_d.z_dephault);
            break;
        case PF_Param_POPUP:
            // Menus the host could not read at registration are not read again.
            if (u.pd.namesptr != nullptr && Sim::menuItemCount(u.pd.namesptr) > 0) {
                out << "default " << Sim::menuItem(u.pd.namesptr, u.pd.dephault) << " (item " << u.pd.dephault
                    << ")  choices " << u.pd.num_choices << "  menu \"" << u.pd.namesptr << "\"";
            } else {
                out << "default item " << u.pd.dephault << "  choices " << u.pd.num_choices;
            }
            break;
        case PF_Param_PATH: out << "default " << u.path_d.dephault; break;
        case PF_Param_ARBITRARY_DATA:
            if (const std::optional<TextBlock> text = defaultTextBlock(instance, index)) {
                out << "default \"" << text->text << "\"  (text of up to " << text->size - 1 << " bytes)";
            } else {
                out << "arbitrary id " << u.arb_d.id;
            }
            break;
        default: break;
    }
    return out.str();
}

int params(const std::vector<std::string>& arguments);

const Command kParams{"params", "PLUGIN", "list the parameters the plug-in registers, in order", params};

int params(const std::vector<std::string>& arguments) {
    if (!expectArguments(kParams, arguments, 1)) return 2;
    Sim::Host host;
    const Sim::Plugin plugin(resolvePlugin(arguments[0]));
    PF_Err err = PF_Err_NONE;
    std::vector<std::string> violations;
    {
        Sim::PluginInstance instance(host, plugin);
        if ((err = instance.globalSetup())) return fail("global set-up failed with error " + std::to_string(err));
        err = instance.paramSetup();
        const PF_EffectInstance& effect = instance.effect();
        for (int index = 1; index < int(effect.registered.size()); ++index) {
            const PF_ParamDef& def = effect.registered[size_t(index)];
            const char* type = Sim::paramTypeName(def.param_type);
            char flags[16];
            std::snprintf(flags, sizeof flags, "0x%x", static_cast<unsigned>(def.flags));
            char head[64];
            std::snprintf(head, sizeof head, "%3d  id %d  ", index, def.uu.id);
            const std::string line = head + std::string(type != nullptr ? type : "unknown") + "  \"" + def.name +
                                     "\"  flags " + flags + "  " + details(instance, index);
            std::printf("%s\n", printable(line, false).c_str());
        }
        if (effect.customUIRegistered) {
            std::printf("custom UI events %d\n", effect.customUI.events);
        } else {
            std::printf("custom UI none\n");
        }
        std::printf("num_params %d\n", instance.lastOut().num_params);
        // Global set-down comes with the instance's end, after its arbitrary values are given back.
        violations = instance.violations();
    }
    if (err != PF_Err_NONE) return fail("parameter set-up failed with error " + std::to_string(err));
    if (!violations.empty()) return fail(violations.front());
    if (!host.ledger().balanced()) return fail("the plug-in left host resources unreleased");
    return 0;
}

const Registration kRegisterParams(kParams);

}  // namespace

}  // namespace Tool
