#include "host/tool/text_param.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "host/sim/arbitrary_param.h"

namespace Tool {

namespace {

std::string quotedName(const PF_ParamDef& def) { return "\"" + std::string(def.name) + "\""; }

}  // namespace

std::optional<TextBlock> defaultTextBlock(Sim::PluginInstance& instance, int index) {
    const PF_ParamDef& def = instance.effect().registered.at(size_t(index));
    Sim::ArbitraryParam* owner = instance.arbitrary(index);
    if (def.param_type != PF_Param_ARBITRARY_DATA || owner == nullptr || def.u.arb_d.dephault == nullptr) return {};
    std::vector<char> flat;
    if (owner->save(def.u.arb_d.dephault, flat) != PF_Err_NONE || flat.empty()) return {};
    const auto end = std::find(flat.begin(), flat.end(), '\0');
    if (end == flat.end() || std::any_of(end, flat.end(), [](char c) { return c != '\0'; })) return {};
    return TextBlock{flat.size(), std::string(flat.begin(), end)};
}

void storeText(Sim::PluginInstance& instance, int index, const TextBlock& shape, const std::string& text) {
    PF_EffectInstance& effect = instance.effect();
    const std::string name = quotedName(effect.registered.at(size_t(index)));
    if (text.size() + 1 > shape.size) {
        throw std::runtime_error(name + " holds at most " + std::to_string(shape.size - 1) + " bytes of text, not " +
                                 std::to_string(text.size()));
    }
    std::vector<char> flat(shape.size, '\0');
    std::copy(text.begin(), text.end(), flat.begin());
    Sim::ArbitraryParam& owner = *instance.arbitrary(index);
    PF_ArbitraryH value = nullptr;
    if (const PF_Err err = owner.load(flat, value)) {
        throw std::runtime_error(name + ": the plug-in could not take the text (error " + std::to_string(err) + ")");
    }
    if (!effect.host->project().takeArbitrary(effect, index, value)) {
        owner.dispose(value);
        throw std::runtime_error(name + " has no stream to hold the text");
    }
}

}  // namespace Tool
