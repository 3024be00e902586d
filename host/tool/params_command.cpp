// morvel params PLUGIN: what the plug-in registers at parameter set-up, entry by entry.

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/tool/command.h"

namespace Tool {

namespace {

double fixed(PF_Fixed value) { return value / 65536.0; }

std::string colorText(const PF_Pixel& p) {
    return "(" + std::to_string(p.alpha) + ", " + std::to_string(p.red) + ", " + std::to_string(p.green) + ", " +
           std::to_string(p.blue) + ")";
}

// Default, ranges and menu of one entry, as far as its type has them.
std::string details(const PF_ParamDef& def) {
    std::ostringstream out;
    const PF_ParamDefUnion& u = def.u;
    switch (def.param_type) {
        case PF_Param_LAYER: out << "default " << u.ld.dephault; break;
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
        case PF_Param_ANGLE: out << "default " << fixed(u.ad.dephault); break;
        case PF_Param_CHECKBOX:
            out << "default " << (u.bd.dephault != 0 ? "on" : "off");
            if (u.bd.nameptr != nullptr) out << "  label \"" << u.bd.nameptr << "\"";
            break;
        case PF_Param_COLOR: out << "default " << colorText(u.cd.dephault); break;
        case PF_Param_POINT:
            out << "default (" << fixed(u.td.x_dephault) << ", " << fixed(u.td.y_dephault) << ")"
                << (u.td.restrict_bounds != 0 ? "  restricted" : "");
            break;
        case PF_Param_POINT_3D:
            out << "default (" << u.point3d_d.x_dephault << ", " << u.point3d_d.y_dephault << ", "
                << u.point3d_d.z_dephault << ")";
            break;
        case PF_Param_POPUP:
            out << "default " << u.pd.dephault << "  choices " << u.pd.num_choices;
            // Menus the host could not read at registration are not read again.
            if (u.pd.namesptr != nullptr && Sim::menuItemCount(u.pd.namesptr) > 0) {
                out << "  menu \"" << u.pd.namesptr << "\"";
            }
            break;
        case PF_Param_PATH: out << "default " << u.path_d.dephault; break;
        case PF_Param_ARBITRARY_DATA: out << "arbitrary id " << u.arb_d.id; break;
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
        for (size_t index = 1; index < effect.registered.size(); ++index) {
            const PF_ParamDef& def = effect.registered[index];
            const char* type = Sim::paramTypeName(def.param_type);
            char flags[16];
            std::snprintf(flags, sizeof flags, "0x%x", static_cast<unsigned>(def.flags));
            std::printf("%3zu  id %d  %s  \"%s\"  flags %s  %s\n", index, def.uu.id,
                        type != nullptr ? type : "unknown", def.name, flags, details(def).c_str());
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
