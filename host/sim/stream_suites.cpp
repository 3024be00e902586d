// "AEGP Stream Suite" 9, "AEGP Dynamic Stream Suite" 5 and "AEGP Keyframe Suite" 4.

#include <cmath>
#include <cstring>

#include "host/sim/project.h"

namespace Sim {

namespace {

// Names are kept to this many units; anything longer is refused rather than read on and on.
constexpr size_t kMaxNameUnits = 4096;

AEGP_MemHandle copyToMemHandle(Project& project, const std::string& what, const void* data, size_t size) {
    AEGP_MemHandle mem = project.newMemHandle(what, size);
    Project::MemBlock* block = project.findMemHandle(mem, "copy");
    if (size != 0) std::memcpy(block->bytes.data(), data, size);
    return mem;
}

// ---------------------------------------------------------------- stream suite

PF_Err getNewLayerStream(AEGP_PluginID, AEGP_LayerH layerH, AEGP_LayerStream which, AEGP_StreamRefH* streamPH) {
    return answerFor("AEGP_GetNewLayerStream", layerH, streamPH,
                     [which](Project& project, ProjectLayer& layer, AEGP_StreamRefH& stream) {
                         if (which < 0 || which >= AEGP_LayerStream_COUNT) {
                             return project.fail("AEGP_GetNewLayerStream", "no such layer stream",
                                                 PF_Err_INVALID_INDEX);
                         }
                         stream = project.newStreamRef(*layer.transform[which]);
                         return PF_Err(PF_Err_NONE);
                     });
}

PF_Err getNewEffectStreamByIndex(AEGP_PluginID, AEGP_EffectRefH effectH, int32_t index, AEGP_StreamRefH* streamPH) {
    return answerFor("AEGP_GetNewEffectStreamByIndex", effectH, streamPH,
                     [index](Project& project, ProjectEffect& effect, AEGP_StreamRefH& stream) {
                         if (index < 0 || static_cast<size_t>(index) >= effect.params.size()) {
                             return project.fail("AEGP_GetNewEffectStreamByIndex", "parameter index out of range",
                                                 PF_Err_INVALID_INDEX);
                         }
                         stream = project.newStreamRef(*effect.params[static_cast<size_t>(index)]);
                         return PF_Err(PF_Err_NONE);
                     });
}

PF_Err getNewMaskStream(AEGP_PluginID, AEGP_MaskRefH maskH, AEGP_MaskStream which, AEGP_StreamRefH* streamPH) {
    return answerFor("AEGP_GetNewMaskStream", maskH, streamPH,
                     [which](Project& project, ProjectMask& mask, AEGP_StreamRefH& stream) {
                         if (which < 0 || which >= AEGP_MaskStream_COUNT) {
                             return project.fail("AEGP_GetNewMaskStream", "no such mask stream", PF_Err_INVALID_INDEX);
                         }
                         stream = project.newStreamRef(*mask.streams[which]);
                         return PF_Err(PF_Err_NONE);
                     });
}

PF_Err disposeStream(AEGP_StreamRefH streamH) {
    MORVEL_SIM_PROJECT_CALL("AEGP_DisposeStream");
    if (!project.disposeStreamRef(streamH)) {
        return project.fail("AEGP_DisposeStream", "unknown or already disposed stream reference");
    }
    return PF_Err_NONE;
}

PF_Err getStreamName(AEGP_PluginID, AEGP_StreamRefH streamH, PF_Boolean, AEGP_MemHandle* nameH) {
    return answerFor("AEGP_GetStreamName", streamH, nameH,
                     [](Project& project, ProjectStream& stream, AEGP_MemHandle& name) {
                         std::u16string units = stream.name;
                         units.push_back(u'\0');
                         name = copyToMemHandle(project, "stream name", units.data(), units.size() * sizeof(char16_t));
                     });
}

PF_Err getStreamType(AEGP_StreamRefH streamH, AEGP_StreamType* typeP) {
    return answerFor("AEGP_GetStreamType", streamH, typeP,
                     [](Project&, ProjectStream& stream, AEGP_StreamType& type) { type = stream.type; });
}

PF_Err isStreamTimevarying(AEGP_StreamRefH streamH, PF_Boolean* varyingP) {
    return answerFor(
        "AEGP_IsStreamTimevarying", streamH, varyingP,
        [](Project&, ProjectStream& stream, PF_Boolean& varying) { varying = stream.timeVarying() ? 1 : 0; });
}

PF_Err getNewStreamValue(AEGP_PluginID, AEGP_StreamRefH streamH, AEGP_LTimeMode mode, const A_Time* time,
                         PF_Boolean preExpression, AEGP_StreamValue2* valueP) {
    MORVEL_SIM_PROJECT_CALL("AEGP_GetNewStreamValue");
    if (valueP == nullptr) return project.fail("AEGP_GetNewStreamValue", "null value record");
    ProjectStream* stream = project.findStreamRef(streamH, "AEGP_GetNewStreamValue");
    if (stream == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    double at = 0;
    if (!project.layerSeconds(stream->layer, mode, time, at, "AEGP_GetNewStreamValue"))
        return PF_Err_BAD_CALLBACK_PARAM;
    host.log().add(std::string("value at ") + std::to_string(at) + (preExpression ? " pre-expression" : ""));
    return project.newStreamValue(*stream, streamH, stream->valueAt(at), valueP);
}

PF_Err disposeStreamValue(AEGP_StreamValue2* valueP) {
    MORVEL_SIM_PROJECT_CALL("AEGP_DisposeStreamValue");
    return project.disposeStreamValue(valueP);
}

PF_Err setStreamValue(AEGP_PluginID, AEGP_StreamRefH streamH, AEGP_StreamValue2* valueP) {
    MORVEL_SIM_PROJECT_CALL("AEGP_SetStreamValue");
    if (valueP == nullptr) return project.fail("AEGP_SetStreamValue", "null value record");
    ProjectStream* stream = project.findStreamRef(streamH, "AEGP_SetStreamValue");
    if (stream == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    // A keyframed stream has no single value to set; its keys are changed instead.
    if (!stream->keys.empty()) return project.fail("AEGP_SetStreamValue", "the stream has keyframes");
    StreamData data;
    if (PF_Err err = project.readStreamValue(*stream, *valueP, data, "AEGP_SetStreamValue")) return err;
    project.keepData(*stream, stream->value, std::move(data));
    return PF_Err_NONE;
}

PF_Err getExpressionState(AEGP_PluginID, AEGP_StreamRefH streamH, PF_Boolean* enabledP) {
    return answerFor(
        "AEGP_GetExpressionState", streamH, enabledP,
        [](Project&, ProjectStream& stream, PF_Boolean& enabled) { enabled = stream.expressionEnabled ? 1 : 0; });
}

PF_Err setExpressionState(AEGP_PluginID, AEGP_StreamRefH streamH, PF_Boolean enabled) {
    return onReferenced("AEGP_SetExpressionState", streamH, [enabled](Project& project, ProjectStream& stream) {
        if (stream.type == AEGP_StreamType_NO_DATA)
            return project.fail("AEGP_SetExpressionState", "a group has no expression");
        stream.expressionEnabled = enabled != 0;
        return PF_Err(PF_Err_NONE);
    });
}

PF_Err getExpression(AEGP_PluginID, AEGP_StreamRefH streamH, AEGP_MemHandle* expressionH) {
    return answerFor("AEGP_GetExpression", streamH, expressionH,
                     [](Project& project, ProjectStream& stream, AEGP_MemHandle& expression) {
                         expression = copyToMemHandle(project, "expression", stream.expression.c_str(),
                                                      stream.expression.size() + 1);
                     });
}

PF_Err setExpression(AEGP_PluginID, AEGP_StreamRefH streamH, const char* expression) {
    return onReferenced("AEGP_SetExpression", streamH, [expression](Project& project, ProjectStream& stream) {
        if (expression == nullptr) return project.fail("AEGP_SetExpression", "null expression text");
        if (stream.type == AEGP_StreamType_NO_DATA)
            return project.fail("AEGP_SetExpression", "a group has no expression");
        stream.expression = expression;
        return PF_Err(PF_Err_NONE);
    });
}

const AEGP_StreamSuite9 kStreamSuite9 = {
    getNewLayerStream,  getNewEffectStreamByIndex, getNewMaskStream,  disposeStream,      getStreamName,
    getStreamType,      isStreamTimevarying,       getNewStreamValue, disposeStreamValue, setStreamValue,
    getExpressionState, setExpressionState,        getExpression,     setExpression,
};

// ---------------------------------------------------------------- dynamic stream suite

PF_Err getNewStreamRefForMask(AEGP_PluginID, AEGP_MaskRefH maskH, AEGP_StreamRefH* streamPH) {
    return answerFor("AEGP_GetNewStreamRefForMask", maskH, streamPH,
                     [](Project& project, ProjectMask& mask, AEGP_StreamRefH& stream) {
                         stream = project.newStreamRef(*mask.group);
                     });
}

PF_Err getDynamicStreamFlags(AEGP_StreamRefH streamH, AEGP_DynStreamFlags* flagsP) {
    return answerFor("AEGP_GetDynamicStreamFlags", streamH, flagsP,
                     [](Project&, ProjectStream& stream, AEGP_DynStreamFlags& flags) { flags = stream.flags; });
}

PF_Err setDynamicStreamFlag(AEGP_StreamRefH streamH, AEGP_DynStreamFlags flag, PF_Boolean undoable, PF_Boolean set) {
    return onReferenced("AEGP_SetDynamicStreamFlag", streamH, [=](Project& project, ProjectStream& stream) {
        if (flag != AEGP_DynStreamFlag_HIDDEN && flag != AEGP_DynStreamFlag_DISABLED) {
            return project.fail("AEGP_SetDynamicStreamFlag", "only the hidden or the disabled flag may be set");
        }
        project.host().log().add(std::string("flag ") + std::to_string(flag) + (set ? " set" : " cleared") +
                                 (undoable ? " undoable" : ""));
        stream.flags = set ? (stream.flags | flag) : (stream.flags & ~flag);
        return PF_Err(PF_Err_NONE);
    });
}

PF_Err setStreamName(AEGP_StreamRefH streamH, const A_UTF16Char* nameZ) {
    return onReferenced("AEGP_SetStreamName", streamH, [nameZ](Project& project, ProjectStream& stream) {
        if (nameZ == nullptr) return project.fail("AEGP_SetStreamName", "null name");
        if (!stream.renamable) return project.fail("AEGP_SetStreamName", "this stream cannot be renamed");
        std::u16string name;
        while (nameZ[name.size()] != 0) {
            if (name.size() == kMaxNameUnits)
                return project.fail("AEGP_SetStreamName", "name too long or not terminated");
            name.push_back(static_cast<char16_t>(nameZ[name.size()]));
        }
        stream.name = std::move(name);
        return PF_Err(PF_Err_NONE);
    });
}

PF_Err getNewParentStreamRef(AEGP_PluginID, AEGP_StreamRefH streamH, AEGP_StreamRefH* parentPH) {
    return answerFor("AEGP_GetNewParentStreamRef", streamH, parentPH,
                     [](Project& project, ProjectStream& stream, AEGP_StreamRefH& parent) {
                         if (stream.parent == nullptr) {
                             return project.fail("AEGP_GetNewParentStreamRef", "a layer has no parent stream");
                         }
                         parent = project.newStreamRef(*stream.parent);
                         return PF_Err(PF_Err_NONE);
                     });
}

PF_Err getStreamIndexInParent(AEGP_StreamRefH streamH, int32_t* indexP) {
    return answerFor("AEGP_GetStreamIndexInParent", streamH, indexP,
                     [](Project& project, ProjectStream& stream, int32_t& index) {
                         if (stream.parent == nullptr)
                             return project.fail("AEGP_GetStreamIndexInParent", "a layer has no parent stream");
                         index = stream.indexInParent();
                         return PF_Err(PF_Err_NONE);
                     });
}

const AEGP_DynamicStreamSuite5 kDynamicStreamSuite5 = {
    getNewStreamRefForMask, getDynamicStreamFlags, setDynamicStreamFlag,
    setStreamName,          getNewParentStreamRef, getStreamIndexInParent,
};

// ---------------------------------------------------------------- keyframe suite

PF_Err getStreamNumKFs(AEGP_StreamRefH streamH, int32_t* numP) {
    return answerFor("AEGP_GetStreamNumKFs", streamH, numP, [](Project&, ProjectStream& stream, int32_t& num) {
        num = static_cast<int32_t>(stream.keys.size());
    });
}

int64_t roundedTicks(const A_Time& offset, uint32_t scale) {
    return std::llround(static_cast<double>(offset.value) * scale / static_cast<double>(offset.scale));
}

PF_Err getKeyframeTime(AEGP_StreamRefH streamH, AEGP_KeyframeIndex index, AEGP_LTimeMode mode, A_Time* timeP) {
    return answerFor(
        "AEGP_GetKeyframeTime", streamH, timeP, [=](Project& project, ProjectStream& stream, A_Time& time) {
            if (index < 0 || static_cast<size_t>(index) >= stream.keys.size()) {
                return project.fail("AEGP_GetKeyframeTime", "keyframe index out of range", PF_Err_INVALID_INDEX);
            }
            if (mode != AEGP_LTimeMode_LayerTime && mode != AEGP_LTimeMode_CompTime) {
                return project.fail("AEGP_GetKeyframeTime", "unknown time mode");
            }
            A_Time keyTime = stream.keys[static_cast<size_t>(index)].time;
            if (mode == AEGP_LTimeMode_CompTime && stream.layer != nullptr) {
                keyTime.value = static_cast<int32_t>(keyTime.value + roundedTicks(stream.layer->start, keyTime.scale));
            }
            time = keyTime;
            return PF_Err(PF_Err_NONE);
        });
}

PF_Err startAddKeyframes(AEGP_StreamRefH streamH, AEGP_AddKeyframesInfoH* batchPH) {
    return answerFor("AEGP_StartAddKeyframes", streamH, batchPH,
                     [](Project& project, ProjectStream& stream, AEGP_AddKeyframesInfoH& batch) {
                         if (stream.type == AEGP_StreamType_NO_DATA) {
                             return project.fail("AEGP_StartAddKeyframes", "a group has no keyframes");
                         }
                         batch = project.newBatch(stream);
                         return PF_Err(PF_Err_NONE);
                     });
}

PF_Err addKeyframe(AEGP_AddKeyframesInfoH batchH, AEGP_LTimeMode mode, const A_Time* time, int32_t* indexP) {
    return answerFor("AEGP_AddKeyframe", batchH, indexP, [=](Project& project, Project::Batch& batch, int32_t& index) {
        double at = 0;
        if (!project.layerSeconds(batch.stream->layer, mode, time, at, "AEGP_AddKeyframe"))
            return PF_Err(PF_Err_BAD_CALLBACK_PARAM);
        A_Time layerTime = *time;
        if (mode == AEGP_LTimeMode_CompTime && batch.stream->layer != nullptr) {
            layerTime.value =
                static_cast<int32_t>(layerTime.value - roundedTicks(batch.stream->layer->start, time->scale));
        }
        index = static_cast<int32_t>(batch.keys.size());
        batch.keys.push_back(Project::PendingKey{layerTime, false, {}});
        return PF_Err(PF_Err_NONE);
    });
}

PF_Err setAddKeyframe(AEGP_AddKeyframesInfoH batchH, int32_t index, const AEGP_StreamValue2* valueP) {
    MORVEL_SIM_PROJECT_CALL("AEGP_SetAddKeyframe");
    if (valueP == nullptr) return project.fail("AEGP_SetAddKeyframe", "null value record");
    Project::Batch* batch = project.findBatch(batchH, "AEGP_SetAddKeyframe");
    if (batch == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (index < 0 || static_cast<size_t>(index) >= batch->keys.size()) {
        return project.fail("AEGP_SetAddKeyframe", "no such key in the batch", PF_Err_INVALID_INDEX);
    }
    Project::PendingKey& key = batch->keys[static_cast<size_t>(index)];
    StreamData data;
    if (PF_Err err = project.readStreamValue(*batch->stream, *valueP, data, "AEGP_SetAddKeyframe")) return err;
    project.keepData(*batch->stream, key.value, std::move(data));
    key.valueSet = true;
    return PF_Err_NONE;
}

PF_Err endAddKeyframes(PF_Boolean add, AEGP_AddKeyframesInfoH batchH) {
    return onReferenced("AEGP_EndAddKeyframes", batchH,
                        [=](Project& project, Project::Batch&) { project.endBatch(batchH, add != 0); });
}

const AEGP_KeyframeSuite4 kKeyframeSuite4 = {
    getStreamNumKFs, getKeyframeTime, startAddKeyframes, addKeyframe, setAddKeyframe, endAddKeyframes,
};

}  // namespace

void installStreamSuites(Host& host) {
    host.faults().registerNames({"AEGP_AddKeyframe",
                                 "AEGP_DisposeStream",
                                 "AEGP_DisposeStreamValue",
                                 "AEGP_EndAddKeyframes",
                                 "AEGP_GetDynamicStreamFlags",
                                 "AEGP_GetExpression",
                                 "AEGP_GetExpressionState",
                                 "AEGP_GetKeyframeTime",
                                 "AEGP_GetNewEffectStreamByIndex",
                                 "AEGP_GetNewLayerStream",
                                 "AEGP_GetNewMaskStream",
                                 "AEGP_GetNewParentStreamRef",
                                 "AEGP_GetNewStreamRefForMask",
                                 "AEGP_GetNewStreamValue",
                                 "AEGP_GetStreamIndexInParent",
                                 "AEGP_GetStreamName",
                                 "AEGP_GetStreamNumKFs",
                                 "AEGP_GetStreamType",
                                 "AEGP_IsStreamTimevarying",
                                 "AEGP_SetAddKeyframe",
                                 "AEGP_SetDynamicStreamFlag",
                                 "AEGP_SetExpression",
                                 "AEGP_SetExpressionState",
                                 "AEGP_SetStreamName",
                                 "AEGP_SetStreamValue",
                                 "AEGP_StartAddKeyframes"});

    host.addSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion9, &kStreamSuite9);
    host.addSuite(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion5, &kDynamicStreamSuite5);
    host.addSuite(kAEGPKeyframeSuite, kAEGPKeyframeSuiteVersion4, &kKeyframeSuite4);
}

}  // namespace Sim
