// "AEGP PF Interface Suite" 1, "AEGP Layer Suite" 13 and "AEGP Effect Suite" 2 and 3.

#include "host/sim/project.h"

namespace Sim {

namespace {

// ---------------------------------------------------------------- PF interface suite

PF_Err getEffectLayer(PF_ProgPtr effect_ref, AEGP_LayerH* layerPH) {
    return answerFor(
        "AEGP_GetEffectLayer", effect_ref, layerPH,
        [](Project&, ProjectEffect& effect, AEGP_LayerH& layer) { layer = Project::handleOf(*effect.layer); });
}

PF_Err getNewEffectForEffect(AEGP_PluginID plugin_id, PF_ProgPtr effect_ref, AEGP_EffectRefH* effectPH) {
    return answerFor("AEGP_GetNewEffectForEffect", effect_ref, effectPH,
                     [&](Project& project, ProjectEffect& effect, AEGP_EffectRefH& ref) {
                         // Noted, not refused: the id only tells the host who asks.
                         if (effect_ref->pluginId != 0 && plugin_id != effect_ref->pluginId) {
                             project.host().log().add("problem: AEGP_GetNewEffectForEffect with plug-in id " +
                                                      std::to_string(plugin_id) + " while the effect registered as " +
                                                      std::to_string(effect_ref->pluginId));
                         }
                         ref = project.newEffectRef(effect);
                     });
}

const AEGP_PFInterfaceSuite1 kPFInterfaceSuite1 = {getEffectLayer, getNewEffectForEffect};

// ---------------------------------------------------------------- layer suite

PF_Err getLayerObjectType(AEGP_LayerH layerH, AEGP_ObjectType* typeP) {
    return answerFor("AEGP_GetLayerObjectType", layerH, typeP,
                     [](Project&, ProjectLayer& layer, AEGP_ObjectType& type) { type = layer.objectType; });
}

PF_Err getLayerParentComp(AEGP_LayerH layerH, AEGP_CompH* compPH) {
    return answerFor("AEGP_GetLayerParentComp", layerH, compPH,
                     [](Project&, ProjectLayer& layer, AEGP_CompH& comp) { comp = Project::handleOf(*layer.comp); });
}

const AEGP_LayerSuite13 kLayerSuite13 = {getLayerObjectType, getLayerParentComp};

// ---------------------------------------------------------------- effect suites

PF_Err getLayerEffectByIndex(AEGP_PluginID, AEGP_LayerH layerH, AEGP_EffectIndex index, AEGP_EffectRefH* effectPH) {
    return answerFor("AEGP_GetLayerEffectByIndex", layerH, effectPH,
                     [index](Project& project, ProjectLayer& layer, AEGP_EffectRefH& effect) {
                         if (index < 0 || static_cast<size_t>(index) >= layer.effects.size()) {
                             return project.fail("AEGP_GetLayerEffectByIndex", "effect index out of range",
                                                 PF_Err_INVALID_INDEX);
                         }
                         effect = project.newEffectRef(*layer.effects[static_cast<size_t>(index)]);
                         return PF_Err(PF_Err_NONE);
                     });
}

PF_Err getInstalledKeyFromLayerEffect(AEGP_EffectRefH effectH, AEGP_InstalledEffectKey* keyP) {
    return answerFor(
        "AEGP_GetInstalledKeyFromLayerEffect", effectH, keyP,
        [](Project&, ProjectEffect& effect, AEGP_InstalledEffectKey& key) { key = effect.installed->key; });
}

PF_Err getEffectFlags(AEGP_EffectRefH effectH, AEGP_EffectFlags* flagsP) {
    return answerFor("AEGP_GetEffectFlags", effectH, flagsP,
                     [](Project&, ProjectEffect& effect, AEGP_EffectFlags& flags) { flags = effect.flags; });
}

PF_Err setEffectFlags(AEGP_EffectRefH effectH, AEGP_EffectFlags mask, AEGP_EffectFlags flags) {
    return onReferenced("AEGP_SetEffectFlags", effectH, [mask, flags](Project&, ProjectEffect& effect) {
        effect.flags = (effect.flags & ~mask) | (flags & mask);
    });
}

PF_Err reorderEffect(AEGP_EffectRefH effectH, int32_t index) {
    return onReferenced("AEGP_ReorderEffect", effectH, [index](Project& project, ProjectEffect& effect) {
        if (index < 0 || static_cast<size_t>(index) >= effect.layer->effects.size()) {
            return project.fail("AEGP_ReorderEffect", "effect index out of range", PF_Err_INVALID_INDEX);
        }
        project.moveEffect(effect, static_cast<size_t>(index));
        return PF_Err(PF_Err_NONE);
    });
}

PF_Err disposeEffect(AEGP_EffectRefH effectH) {
    MORVEL_SIM_PROJECT_CALL("AEGP_DisposeEffect");
    if (!project.disposeEffectRef(effectH)) {
        return project.fail("AEGP_DisposeEffect", "unknown or already disposed effect reference");
    }
    return PF_Err_NONE;
}

PF_Err applyEffect(AEGP_PluginID, AEGP_LayerH layerH, AEGP_InstalledEffectKey key, AEGP_EffectRefH* effectPH) {
    return answerFor("AEGP_ApplyEffect", layerH, effectPH,
                     [key](Project& project, ProjectLayer& layer, AEGP_EffectRefH& ref) {
                         ProjectEffect* effect = project.addEffect(layer, key);
                         if (effect == nullptr)
                             return project.fail("AEGP_ApplyEffect", "no installed effect has this key");
                         ref = project.newEffectRef(*effect);
                         return PF_Err(PF_Err_NONE);
                     });
}

const AEGP_EffectSuite2 kEffectSuite2 = {getLayerEffectByIndex,
                                         getInstalledKeyFromLayerEffect,
                                         getEffectFlags,
                                         setEffectFlags,
                                         reorderEffect,
                                         disposeEffect,
                                         applyEffect};
const AEGP_EffectSuite3 kEffectSuite3 = {getLayerEffectByIndex,
                                         getInstalledKeyFromLayerEffect,
                                         getEffectFlags,
                                         setEffectFlags,
                                         reorderEffect,
                                         disposeEffect,
                                         applyEffect};

}  // namespace

void installEffectSuites(Host& host) {
    host.faults().registerNames({"AEGP_ApplyEffect", "AEGP_DisposeEffect", "AEGP_GetEffectFlags", "AEGP_GetEffectLayer",
                                 "AEGP_GetInstalledKeyFromLayerEffect", "AEGP_GetLayerEffectByIndex",
                                 "AEGP_GetLayerObjectType", "AEGP_GetLayerParentComp", "AEGP_GetNewEffectForEffect",
                                 "AEGP_ReorderEffect", "AEGP_SetEffectFlags"});

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
