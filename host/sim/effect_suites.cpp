// "AEGP PF Interface Suite" 1, "AEGP Layer Suite" 13 and "AEGP Effect Suite" 2 and 3.

#include "host/sim/project.h"

namespace Sim {

namespace {

// ---------------------------------------------------------------- PF interface suite

PF_Err getEffectLayer(PF_ProgPtr effect_ref, AEGP_LayerH* layerPH) {
    MORVEL_SIM_PROJECT_CALL("AEGP_GetEffectLayer");
    if (layerPH == nullptr) return project.fail("AEGP_GetEffectLayer", "null result pointer");
    *layerPH = nullptr;
    ProjectEffect* effect = project.findInstance(effect_ref, "AEGP_GetEffectLayer");
    if (effect == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *layerPH = Project::handleOf(*effect->layer);
    return PF_Err_NONE;
}

PF_Err getNewEffectForEffect(AEGP_PluginID plugin_id, PF_ProgPtr effect_ref, AEGP_EffectRefH* effectPH) {
    MORVEL_SIM_PROJECT_CALL("AEGP_GetNewEffectForEffect");
    if (effectPH == nullptr) return project.fail("AEGP_GetNewEffectForEffect", "null result pointer");
    *effectPH = nullptr;
    ProjectEffect* effect = project.findInstance(effect_ref, "AEGP_GetNewEffectForEffect");
    if (effect == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    // Noted, not refused: the id only tells the host who asks.
    if (effect_ref->pluginId != 0 && plugin_id != effect_ref->pluginId) {
        host.log().add("problem: AEGP_GetNewEffectForEffect with plug-in id " + std::to_string(plugin_id) +
                       " while the effect registered as " + std::to_string(effect_ref->pluginId));
    }
    *effectPH = project.newEffectRef(*effect);
    return PF_Err_NONE;
}

const AEGP_PFInterfaceSuite1 kPFInterfaceSuite1 = {getEffectLayer, getNewEffectForEffect};

// ---------------------------------------------------------------- layer suite

PF_Err getLayerObjectType(AEGP_LayerH layerH, AEGP_ObjectType* typeP) {
    MORVEL_SIM_PROJECT_CALL("AEGP_GetLayerObjectType");
    if (typeP == nullptr) return project.fail("AEGP_GetLayerObjectType", "null result pointer");
    ProjectLayer* layer = project.findLayer(layerH, "AEGP_GetLayerObjectType");
    if (layer == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *typeP = layer->objectType;
    return PF_Err_NONE;
}

PF_Err getLayerParentComp(AEGP_LayerH layerH, AEGP_CompH* compPH) {
    MORVEL_SIM_PROJECT_CALL("AEGP_GetLayerParentComp");
    if (compPH == nullptr) return project.fail("AEGP_GetLayerParentComp", "null result pointer");
    *compPH = nullptr;
    ProjectLayer* layer = project.findLayer(layerH, "AEGP_GetLayerParentComp");
    if (layer == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *compPH = Project::handleOf(*layer->comp);
    return PF_Err_NONE;
}

const AEGP_LayerSuite13 kLayerSuite13 = {getLayerObjectType, getLayerParentComp};

// ---------------------------------------------------------------- effect suites

PF_Err getLayerEffectByIndex(AEGP_PluginID, AEGP_LayerH layerH, AEGP_EffectIndex index, AEGP_EffectRefH* effectPH) {
    MORVEL_SIM_PROJECT_CALL("AEGP_GetLayerEffectByIndex");
    if (effectPH == nullptr) return project.fail("AEGP_GetLayerEffectByIndex", "null result pointer");
    *effectPH = nullptr;
    ProjectLayer* layer = project.findLayer(layerH, "AEGP_GetLayerEffectByIndex");
    if (layer == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (index < 0 || static_cast<size_t>(index) >= layer->effects.size()) {
        return project.fail("AEGP_GetLayerEffectByIndex", "effect index out of range", PF_Err_INVALID_INDEX);
    }
    *effectPH = project.newEffectRef(*layer->effects[static_cast<size_t>(index)]);
    return PF_Err_NONE;
}

PF_Err getInstalledKeyFromLayerEffect(AEGP_EffectRefH effectH, AEGP_InstalledEffectKey* keyP) {
    MORVEL_SIM_PROJECT_CALL("AEGP_GetInstalledKeyFromLayerEffect");
    if (keyP == nullptr) return project.fail("AEGP_GetInstalledKeyFromLayerEffect", "null result pointer");
    ProjectEffect* effect = project.findEffectRef(effectH, "AEGP_GetInstalledKeyFromLayerEffect");
    if (effect == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *keyP = effect->installed->key;
    return PF_Err_NONE;
}

PF_Err getEffectFlags(AEGP_EffectRefH effectH, AEGP_EffectFlags* flagsP) {
    MORVEL_SIM_PROJECT_CALL("AEGP_GetEffectFlags");
    if (flagsP == nullptr) return project.fail("AEGP_GetEffectFlags", "null result pointer");
    ProjectEffect* effect = project.findEffectRef(effectH, "AEGP_GetEffectFlags");
    if (effect == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *flagsP = effect->flags;
    return PF_Err_NONE;
}

PF_Err setEffectFlags(AEGP_EffectRefH effectH, AEGP_EffectFlags mask, AEGP_EffectFlags flags) {
    MORVEL_SIM_PROJECT_CALL("AEGP_SetEffectFlags");
    ProjectEffect* effect = project.findEffectRef(effectH, "AEGP_SetEffectFlags");
    if (effect == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    effect->flags = (effect->flags & ~mask) | (flags & mask);
    return PF_Err_NONE;
}

PF_Err reorderEffect(AEGP_EffectRefH effectH, int32_t index) {
    MORVEL_SIM_PROJECT_CALL("AEGP_ReorderEffect");
    ProjectEffect* effect = project.findEffectRef(effectH, "AEGP_ReorderEffect");
    if (effect == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (index < 0 || static_cast<size_t>(index) >= effect->layer->effects.size()) {
        return project.fail("AEGP_ReorderEffect", "effect index out of range", PF_Err_INVALID_INDEX);
    }
    project.moveEffect(*effect, static_cast<size_t>(index));
    return PF_Err_NONE;
}

PF_Err disposeEffect(AEGP_EffectRefH effectH) {
    MORVEL_SIM_PROJECT_CALL("AEGP_DisposeEffect");
    if (!project.disposeEffectRef(effectH)) {
        return project.fail("AEGP_DisposeEffect", "unknown or already disposed effect reference");
    }
    return PF_Err_NONE;
}

PF_Err applyEffect(AEGP_PluginID, AEGP_LayerH layerH, AEGP_InstalledEffectKey key, AEGP_EffectRefH* effectPH) {
    MORVEL_SIM_PROJECT_CALL("AEGP_ApplyEffect");
    if (effectPH == nullptr) return project.fail("AEGP_ApplyEffect", "null result pointer");
    *effectPH = nullptr;
    ProjectLayer* layer = project.findLayer(layerH, "AEGP_ApplyEffect");
    if (layer == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    ProjectEffect* effect = project.addEffect(*layer, key);
    if (effect == nullptr) return project.fail("AEGP_ApplyEffect", "no installed effect has this key");
    *effectPH = project.newEffectRef(*effect);
    return PF_Err_NONE;
}

const AEGP_EffectSuite2 kEffectSuite2 = {getLayerEffectByIndex, getInstalledKeyFromLayerEffect,
                                         getEffectFlags,        setEffectFlags,
                                         reorderEffect,         disposeEffect,
                                         applyEffect};
const AEGP_EffectSuite3 kEffectSuite3 = {getLayerEffectByIndex, getInstalledKeyFromLayerEffect,
                                         getEffectFlags,        setEffectFlags,
                                         reorderEffect,         disposeEffect,
                                         applyEffect};

}  // namespace

void installEffectSuites(Host& host) {
    host.faults().registerNames({
        "AEGP_ApplyEffect", "AEGP_DisposeEffect", "AEGP_GetEffectFlags", "AEGP_GetEffectLayer",
        "AEGP_GetInstalledKeyFromLayerEffect", "AEGP_GetLayerEffectByIndex", "AEGP_GetLayerObjectType",
        "AEGP_GetLayerParentComp", "AEGP_GetNewEffectForEffect", "AEGP_ReorderEffect",
        "AEGP_SetEffectFlags"});

    host.addSuite(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, &kPFInterfaceSuite1);
    host.addSuite(kAEGPLayerSuite, kAEGPLayerSuiteVersion13, &kLayerSuite13);
    host.addSuite(kAEGPEffectSuite, kAEGPEffectSuiteVersion2, &kEffectSuite2);
    host.addSuite(kAEGPEffectSuite, kAEGPEffectSuiteVersion3, &kEffectSuite3);
}

void installProjectSuites(Host& host) {
    installEffectSuites(host);
    installStreamSuites(host);
    installMemorySuite(host);
}

}  // namespace Sim
