#include "host/sim/params.h"

#include "host/sim/arbitrary_param.h"
#include "host/sim/frame.h"
#include "host/sim/project.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace Sim {

namespace {

// Longest menu text a host would read; anything longer is taken as unterminated.
constexpr size_t kMaxMenuLength = 1 << 16;

bool isGroupEntry(const PF_ParamDef& def) {
    return def.param_type == PF_Param_GROUP_START || def.param_type == PF_Param_GROUP_END;
}

// The effect's record is validated before anything of it is believed, so the instance is found
// the same careful way by every callback.
PF_EffectInstance* instanceOf(Host& host, PF_ProgPtr effect_ref, const char* function) {
    if (effect_ref == nullptr) {
        host.log().add(std::string("error: ") + function + " without an effect reference");
        return nullptr;
    }
    if (effect_ref->host != nullptr && effect_ref->host != &host) {
        host.log().add(std::string("error: ") + function + " with an effect of another host");
        return nullptr;
    }
    return effect_ref;
}

std::string describe(int index, const PF_ParamDef& def) {
    std::ostringstream out;
    out << index << " \"" << def.name << "\"";
    return out.str();
}

template <typename T>
void checkRange(Host& host, const std::string& who, const char* what, T low, T high, T dephault) {
    std::ostringstream out;
    if (!(low <= high)) {
        out << "problem: add_param " << who << ": " << what << " range " << low << " .. " << high << " is empty";
    } else if (!(low <= dephault && dephault <= high)) {
        out << "problem: add_param " << who << ": default " << dephault << " outside " << what << " range " << low
            << " .. " << high;
    } else {
        return;
    }
    host.log().add(out.str());
}

void checkPopup(Host& host, const std::string& who, const PF_PopupDef& popup) {
    const char* menu = popup.namesptr;
    if (menu == nullptr) {
        host.log().add("problem: add_param " + who + ": popup without a menu text");
        return;
    }
    if (strnlen(menu, kMaxMenuLength) == kMaxMenuLength) {
        host.log().add("problem: add_param " + who + ": menu text is not terminated");
        return;
    }
    const int items = menuItemCount(menu);
    std::ostringstream out;
    if (popup.num_choices < 1 || popup.num_choices > items) {
        out << "problem: add_param " << who << ": " << popup.num_choices << " choices but the menu names " << items
            << " items";
    } else if (popup.dephault < 1 || popup.dephault > popup.num_choices) {
        out << "problem: add_param " << who << ": default " << popup.dephault << " outside 1 .. " << popup.num_choices;
    } else if (menuItem(menu, popup.dephault) == "(-") {
        out << "problem: add_param " << who << ": default " << popup.dephault << " is a separator";
    } else {
        return;
    }
    host.log().add(out.str());
}

// Problems are logged and the parameter is still taken, as a lenient host would.
void validate(Host& host, const PF_EffectInstance& effect, int index, const PF_ParamDef& def) {
    const std::string who = describe(index, def);
    switch (def.param_type) {
        case PF_Param_SLIDER:
            checkRange(host, who, "valid", def.u.sd.valid_min, def.u.sd.valid_max, def.u.sd.dephault);
            checkRange(host, who, "slider", def.u.sd.slider_min, def.u.sd.slider_max, def.u.sd.dephault);
            break;
        case PF_Param_FIX_SLIDER:
            checkRange(host, who, "valid", def.u.fd.valid_min, def.u.fd.valid_max, def.u.fd.dephault);
            checkRange(host, who, "slider", def.u.fd.slider_min, def.u.fd.slider_max, def.u.fd.dephault);
            break;
        case PF_Param_FLOAT_SLIDER:
            checkRange(host, who, "valid", def.u.fs_d.valid_min, def.u.fs_d.valid_max, def.u.fs_d.dephault);
            checkRange(host, who, "slider", def.u.fs_d.slider_min, def.u.fs_d.slider_max, def.u.fs_d.dephault);
            break;
        case PF_Param_POPUP: checkPopup(host, who, def.u.pd); break;
        default: break;
    }
    // Projects store values by id, so two parameters must not share one; group entries may.
    if (!isGroupEntry(def)) {
        for (size_t i = 1; i < effect.registered.size(); ++i) {
            const PF_ParamDef& other = effect.registered[i];
            if (!isGroupEntry(other) && other.uu.id == def.uu.id) {
                host.log().add("problem: add_param " + who + ": id " + std::to_string(def.uu.id) +
                               " already used at index " + std::to_string(i));
                break;
            }
        }
    }
}

// A freshly registered parameter holds its default.
PF_ParamDef initialValue(const PF_ParamDef& def) {
    PF_ParamDef value = def;
    PF_ParamDefUnion& u = value.u;
    switch (def.param_type) {
        case PF_Param_SLIDER: u.sd.value = u.sd.dephault; break;
        case PF_Param_FIX_SLIDER: u.fd.value = u.fd.dephault; break;
        case PF_Param_FLOAT_SLIDER: u.fs_d.value = u.fs_d.dephault; break;
        case PF_Param_ANGLE: u.ad.value = u.ad.dephault; break;
        case PF_Param_CHECKBOX: u.bd.value = u.bd.dephault; break;
        case PF_Param_COLOR: u.cd.value = u.cd.dephault; break;
        case PF_Param_POINT:
            u.td.x_value = u.td.x_dephault;
            u.td.y_value = u.td.y_dephault;
            break;
        case PF_Param_POPUP: u.pd.value = u.pd.dephault; break;
        case PF_Param_POINT_3D:
            u.point3d_d.x_value = u.point3d_d.x_dephault;
            u.point3d_d.y_value = u.point3d_d.y_dephault;
            u.point3d_d.z_value = u.point3d_d.z_dephault;
            break;
        case PF_Param_LAYER: {
            // No layer chosen: no pixels, only the default kept.
            const int32_t dephault = u.ld.dephault;
            u.ld = PF_LayerDef{};
            u.ld.dephault = dephault;
            break;
        }
        default: break;
    }
    return value;
}

PF_ParamDef inputLayer() {
    PF_ParamDef layer{};
    layer.param_type = PF_Param_LAYER;
    return layer;
}

PF_Err addParam(PF_ProgPtr effect_ref, int32_t index, PF_ParamDef* def) {
    Host& host = Host::current();
    if (PF_Err err = host.faults().onCall("add_param")) return err;
    PF_EffectInstance* effect = instanceOf(host, effect_ref, "add_param");
    if (effect == nullptr || def == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    // Index 0 is the effect's input layer, which the host supplies itself.
    if (effect->registered.empty()) effect->registered.push_back(inputLayer());
    const int32_t next = static_cast<int32_t>(effect->registered.size());
    if (index != -1 && index != next) {
        host.log().add("error: add_param at index " + std::to_string(index) + " while the next is " +
                       std::to_string(next));
        return PF_Err_INVALID_INDEX;
    }
    PF_ParamDef record = *def;
    if (strnlen(record.name, sizeof record.name) == sizeof record.name) {
        record.name[sizeof record.name - 1] = '\0';
        host.log().add("problem: add_param " + std::to_string(next) + ": name is not terminated");
    }
    const char* type = paramTypeName(record.param_type);
    if (type == nullptr) {
        host.log().add("error: add_param " + describe(next, record) + ": unknown type " +
                       std::to_string(record.param_type));
        return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    }
    host.log().add("add_param " + describe(next, record) + " " + type + " id " + std::to_string(record.uu.id));
    validate(host, *effect, next, record);
    effect->registered.push_back(record);
    if (effect->values.size() < effect->registered.size()) effect->values.resize(effect->registered.size());
    effect->values[next] = initialValue(record);
    return PF_Err_NONE;
}

PF_Err checkoutParam(PF_ProgPtr effect_ref, int32_t index, int32_t what_time, int32_t time_step, uint32_t time_scale,
                     PF_ParamDef* param) {
    Host& host = Host::current();
    if (PF_Err err = host.faults().onCall("checkout_param")) return err;
    PF_EffectInstance* effect = instanceOf(host, effect_ref, "checkout_param");
    if (effect == nullptr || param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (index < 0 || static_cast<size_t>(index) >= effect->values.size()) {
        host.log().add("error: checkout_param of unknown index " + std::to_string(index));
        return PF_Err_INVALID_INDEX;
    }
    if (time_scale == 0) {
        host.log().add("error: checkout_param " + std::to_string(index) + " with a time scale of 0");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    host.log().add("checkout_param " + std::to_string(index) + " at " + std::to_string(what_time) + "/" +
                   std::to_string(time_scale) + " step " + std::to_string(time_step));
    *param = effect->values[static_cast<size_t>(index)];
    // An instance in the project reads its values from the streams there, keyframes included.
    if (effect->projectEffect != nullptr) {
        PF_Err err = PF_Err_NONE;
        host.project().paramAt(*effect, index, double(what_time) / double(time_scale), *param, err);
        if (err != PF_Err_NONE) return err;
    }
    deliverForFrame(host, *effect, index, *param);
    effect->checkouts.emplace_back(param, index);
    host.ledger().acquire("param checkout", Ledger::keyOf(param), "index " + std::to_string(index));
    return PF_Err_NONE;
}

PF_Err checkinParam(PF_ProgPtr effect_ref, PF_ParamDef* param) {
    Host& host = Host::current();
    if (PF_Err err = host.faults().onCall("checkin_param")) return err;
    PF_EffectInstance* effect = instanceOf(host, effect_ref, "checkin_param");
    if (effect == nullptr || param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    auto& outstanding = effect->checkouts;
    for (auto it = outstanding.rbegin(); it != outstanding.rend(); ++it) {
        if (it->first != param) continue;
        host.log().add("checkin_param " + std::to_string(it->second));
        std::lock_guard projectLock(host.project().mutex());
        auto copied = effect->arbitraryCheckouts.find(param);
        if (copied != effect->arbitraryCheckouts.end()) {
            auto owner = effect->arbitrary.find(it->second);
            if (owner != effect->arbitrary.end()) owner->second->dispose(copied->second);
            effect->arbitraryCheckouts.erase(copied);
        }
        outstanding.erase(std::next(it).base());
        host.ledger().release("param checkout", Ledger::keyOf(param));
        return PF_Err_NONE;
    }
    host.log().add("error: checkin_param of a parameter that is not checked out");
    return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err updateParamUI(PF_ProgPtr effect_ref, int32_t param_index, const PF_ParamDef* def) {
    Host& host = Host::current();
    if (PF_Err err = host.faults().onCall("PF_UpdateParamUI")) return err;
    PF_EffectInstance* effect = instanceOf(host, effect_ref, "PF_UpdateParamUI");
    if (effect == nullptr || def == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (param_index < 1 || static_cast<size_t>(param_index) >= effect->registered.size()) {
        host.log().add("error: PF_UpdateParamUI of unknown index " + std::to_string(param_index));
        return PF_Err_INVALID_INDEX;
    }
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%x", static_cast<unsigned>(def->ui_flags));
    host.log().add("PF_UpdateParamUI " + std::to_string(param_index) + " ui_flags " + flags);
    const auto at = static_cast<size_t>(param_index);
    effect->registered[at].ui_flags = def->ui_flags;
    if (at < effect->values.size()) effect->values[at].ui_flags = def->ui_flags;
    return PF_Err_NONE;
}

PF_Err registerUI(PF_ProgPtr effect_ref, PF_CustomUIInfo* info) {
    Host& host = Host::current();
    if (PF_Err err = host.faults().onCall("register_ui")) return err;
    PF_EffectInstance* effect = instanceOf(host, effect_ref, "register_ui");
    if (effect == nullptr || info == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    host.log().add("register_ui events " + std::to_string(info->events));
    effect->customUIRegistered = true;
    effect->customUI = *info;
    return PF_Err_NONE;
}

const PF_ParamUtilsSuite2 kParamUtilsSuite2 = {updateParamUI};

}  // namespace

const char* paramTypeName(PF_ParamType type) {
    switch (type) {
        case PF_Param_LAYER: return "layer";
        case PF_Param_SLIDER: return "slider";
        case PF_Param_FIX_SLIDER: return "fixed slider";
        case PF_Param_ANGLE: return "angle";
        case PF_Param_CHECKBOX: return "checkbox";
        case PF_Param_COLOR: return "color";
        case PF_Param_POINT: return "point";
        case PF_Param_POPUP: return "popup";
        case PF_Param_FLOAT_SLIDER: return "float slider";
        case PF_Param_ARBITRARY_DATA: return "arbitrary data";
        case PF_Param_PATH: return "path";
        case PF_Param_GROUP_START: return "group start";
        case PF_Param_GROUP_END: return "group end";
        case PF_Param_BUTTON: return "button";
        case PF_Param_POINT_3D: return "3-D point";
        default: return nullptr;
    }
}

void setParamValue(PF_EffectInstance& effect, int index, const PF_ParamDef& value) {
    if (effect.projectEffect != nullptr && effect.host != nullptr) {
        effect.host->project().setParam(effect, index, value);
        return;
    }
    paramValue(effect, index) = value;
}

PF_ParamDef& paramValue(PF_EffectInstance& effect, int index) {
    if (index < 0) throw std::out_of_range("negative parameter index");
    const auto at = static_cast<size_t>(index);
    if (at >= effect.values.size()) effect.values.resize(at + 1);
    return effect.values[at];
}

int menuItemCount(const char* menu) {
    if (menu == nullptr) return 0;
    int items = 1;
    for (const char* c = menu; *c != '\0'; ++c) {
        if (*c == '|') ++items;
    }
    return items;
}

std::string_view menuItem(const char* menu, int item) {
    if (menu == nullptr || item < 1) return {};
    std::string_view rest(menu);
    for (int i = 1; i < item; ++i) {
        const size_t bar = rest.find('|');
        if (bar == std::string_view::npos) return {};
        rest.remove_prefix(bar + 1);
    }
    return rest.substr(0, rest.find('|'));
}

void installParamCallbacks(Host& host) {
    host.faults().registerNames({"PF_UpdateParamUI", "add_param", "checkin_param", "checkout_param", "register_ui"});

    host.addSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2, &kParamUtilsSuite2);
    host.addInDataInstaller([](PF_InData& in_data) {
        in_data.inter.add_param = addParam;
        in_data.inter.checkout_param = checkoutParam;
        in_data.inter.checkin_param = checkinParam;
        in_data.inter.register_ui = registerUI;
    });
}

}  // namespace Sim
