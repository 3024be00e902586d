#include "library/effect/effect_handle.h"

#include <cstring>
#include <vector>

#include "library/stream/stream.h"
#include "library/utility/host_refs.h"

namespace Morvel {

namespace {

// The instance's own stream group: the parent of its first parameter's stream.
PF_Err openInstanceGroup(StreamBase& parameter, StreamBase& group, AEGP_EffectRefH effect) {
    if (PF_Err err = parameter.init(effect, 1)) return err;
    return group.init(parameter.stream());
}

}  // namespace

EffectHandle::EffectHandle(int plugin_id, PF_InData* in_data, AEGP_SuiteHandler& suites)
    : pluginId_(plugin_id), inData_(in_data), suites_(&suites) {}

EffectHandle::~EffectHandle() {
    try {
        dispose();
    } catch (...) {
    }
}

PF_Err EffectHandle::dispose() {
    if (effect_ == nullptr) return PF_Err_NONE;
    AEGP_EffectRefH held = effect_;
    effect_ = nullptr;
    return suites_->EffectSuite3()->AEGP_DisposeEffect(held);
}

// Each way of taking a reference first takes the suite that gives it back, so that a missing
// suite cannot strand it.

PF_Err EffectHandle::init() {
    if (PF_Err err = dispose()) return err;
    suites_->EffectSuite3();
    return suites_->PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(pluginId_, inData_->effect_ref, &effect_);
}

PF_Err EffectHandle::init(AEGP_EffectRefH effect) {
    if (effect != nullptr && effect == effect_) return PF_Err_NONE;  // already ours; disposing would lose it
    const PF_Err err = dispose();
    effect_ = effect;
    return err;
}

PF_Err EffectHandle::init(AEGP_LayerH layer, int index) {
    if (PF_Err err = dispose()) return err;
    suites_->EffectSuite3();
    return suites_->EffectSuite3()->AEGP_GetLayerEffectByIndex(pluginId_, layer, index, &effect_);
}

PF_Err EffectHandle::apply(int key) {
    AEGP_LayerH layer = nullptr;
    if (PF_Err err = suites_->PFInterfaceSuite1()->AEGP_GetEffectLayer(inData_->effect_ref, &layer)) return err;
    return apply(layer, key);
}

PF_Err EffectHandle::apply(AEGP_LayerH layer, int key) {
    if (PF_Err err = dispose()) return err;
    return suites_->EffectSuite3()->AEGP_ApplyEffect(pluginId_, layer, key, &effect_);
}

PF_Err EffectHandle::getEffectFlags(int& flags) const {
    AEGP_EffectFlags read = 0;
    const PF_Err err = suites_->EffectSuite3()->AEGP_GetEffectFlags(effect_, &read);
    if (err == PF_Err_NONE) flags = read;
    return err;
}

PF_Err EffectHandle::setEffectFlags(int mask, int flags) const {
    return suites_->EffectSuite3()->AEGP_SetEffectFlags(effect_, mask, flags);
}

PF_Err EffectHandle::getName(std::u16string& name) const {
    StreamBase parameter(pluginId_, inData_, *suites_);
    StreamBase group(pluginId_, inData_, *suites_);
    if (PF_Err err = openInstanceGroup(parameter, group, effect_)) return err;

    MemHandle text(suites_->MemorySuite1());
    PF_Err err = suites_->StreamSuite9()->AEGP_GetStreamName(pluginId_, group.stream(), false, text.put());
    if (!text) return err;
    std::vector<char> bytes;
    if (err == PF_Err_NONE) err = text.read(bytes);
    std::vector<char16_t> units(bytes.size() / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), bytes.data(), units.size() * 2);
    size_t length = 0;
    while (length < units.size() && units[length] != u'\0') ++length;
    name.assign(units.data(), length);
    return firstError(err, text.free());
}

PF_Err EffectHandle::setName(const std::u16string& name) const {
    StreamBase parameter(pluginId_, inData_, *suites_);
    StreamBase group(pluginId_, inData_, *suites_);
    if (PF_Err err = openInstanceGroup(parameter, group, effect_)) return err;
    std::vector<A_UTF16Char> units(name.begin(), name.end());
    units.push_back(0);
    return suites_->DynamicStreamSuite5()->AEGP_SetStreamName(group.stream(), units.data());
}

PF_Err EffectHandle::getIndex(int& index) const {
    StreamBase parameter(pluginId_, inData_, *suites_);
    StreamBase group(pluginId_, inData_, *suites_);
    if (PF_Err err = openInstanceGroup(parameter, group, effect_)) return err;
    int32_t position = 0;
    const PF_Err err = suites_->DynamicStreamSuite5()->AEGP_GetStreamIndexInParent(group.stream(), &position);
    if (err == PF_Err_NONE) index = position;
    return err;
}

PF_Err EffectHandle::reorder(int index) const { return suites_->EffectSuite3()->AEGP_ReorderEffect(effect_, index); }

PF_Err EffectHandle::getKey(int& key) const {
    AEGP_InstalledEffectKey installed = 0;
    const PF_Err err = suites_->EffectSuite3()->AEGP_GetInstalledKeyFromLayerEffect(effect_, &installed);
    if (err == PF_Err_NONE) key = installed;
    return err;
}

}  // namespace Morvel
