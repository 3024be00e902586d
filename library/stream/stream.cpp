#include "library/stream/stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "library/utility/host_refs.h"

namespace Morvel {

namespace {

// How each value type sits in the host's value union.
template <typename T>
struct StreamValueTraits;

template <>
struct StreamValueTraits<bool> {
    // Truncated, so a value between 0 and 1 reads as off.
    static bool read(const AEGP_StreamVal2& val) { return static_cast<int>(val.one_d) != 0; }
    static void write(bool value, AEGP_StreamVal2& val) { val.one_d = value ? 1.0 : 0.0; }
};

template <>
struct StreamValueTraits<int> {
    static int read(const AEGP_StreamVal2& val) { return val.layer_id; }
    static void write(int value, AEGP_StreamVal2& val) { val.layer_id = value; }
};

template <>
struct StreamValueTraits<double> {
    static double read(const AEGP_StreamVal2& val) { return val.one_d; }
    static void write(double value, AEGP_StreamVal2& val) { val.one_d = value; }
};

template <>
struct StreamValueTraits<AEGP_TwoDVal> {
    static AEGP_TwoDVal read(const AEGP_StreamVal2& val) { return val.two_d; }
    static void write(const AEGP_TwoDVal& value, AEGP_StreamVal2& val) { val.two_d = value; }
};

template <>
struct StreamValueTraits<AEGP_ThreeDVal> {
    static AEGP_ThreeDVal read(const AEGP_StreamVal2& val) { return val.three_d; }
    static void write(const AEGP_ThreeDVal& value, AEGP_StreamVal2& val) { val.three_d = value; }
};

template <>
struct StreamValueTraits<AEGP_ColorVal> {
    static AEGP_ColorVal read(const AEGP_StreamVal2& val) { return val.color; }
    static void write(const AEGP_ColorVal& value, AEGP_StreamVal2& val) { val.color = value; }
};

}  // namespace

// ---------------------------------------------------------------- StreamBase

StreamBase::StreamBase(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites)
    : pluginId_(pluginId), inData_(in_data), suites_(suites) {}

StreamBase::~StreamBase() {
    // A destructor has no one to report to; a missing suite must not escape either.
    try {
        dispose();
    } catch (...) {
    }
}

PF_Err StreamBase::dispose() {
    if (stream_ == nullptr) return PF_Err_NONE;
    AEGP_StreamRefH held = stream_;
    stream_ = nullptr;
    forgetStream();
    return suites_.StreamSuite9()->AEGP_DisposeStream(held);
}

PF_Err StreamBase::init(AEGP_EffectRefH effect, int index) {
    if (PF_Err err = dispose()) return err;
    return suites_.StreamSuite9()->AEGP_GetNewEffectStreamByIndex(pluginId_, effect, index, &stream_);
}

PF_Err StreamBase::init(AEGP_LayerH layer, int which) {
    if (PF_Err err = dispose()) return err;
    return suites_.StreamSuite9()->AEGP_GetNewLayerStream(pluginId_, layer, which, &stream_);
}

PF_Err StreamBase::init(AEGP_StreamRefH stream) {
    if (PF_Err err = dispose()) return err;
    return suites_.DynamicStreamSuite5()->AEGP_GetNewParentStreamRef(pluginId_, stream, &stream_);
}

PF_Err StreamBase::init(AEGP_MaskRefH mask) {
    if (PF_Err err = dispose()) return err;
    return suites_.DynamicStreamSuite5()->AEGP_GetNewStreamRefForMask(pluginId_, mask, &stream_);
}

PF_Err StreamBase::init(AEGP_MaskRefH mask, int which) {
    if (PF_Err err = dispose()) return err;
    return suites_.StreamSuite9()->AEGP_GetNewMaskStream(pluginId_, mask, which, &stream_);
}

PF_Err StreamBase::setHidden(bool hidden) {
    const AEGP_DynamicStreamSuite5* dynamic = suites_.DynamicStreamSuite5();
    AEGP_DynStreamFlags flags = 0;
    if (PF_Err err = dynamic->AEGP_GetDynamicStreamFlags(stream_, &flags)) return err;
    if (((flags & AEGP_DynStreamFlag_HIDDEN) != 0) == hidden) return PF_Err_NONE;
    return dynamic->AEGP_SetDynamicStreamFlag(stream_, AEGP_DynStreamFlag_HIDDEN, false, hidden);
}

PF_Err StreamBase::hide(AEGP_EffectRefH) { return setHidden(true); }

PF_Err StreamBase::show(AEGP_EffectRefH) { return setHidden(false); }

PF_Err StreamBase::setHiddenOnOwnEffect(bool hidden) {
    // Taken before the reference: a suite found missing afterwards would strand it.
    suites_.DynamicStreamSuite5();
    EffectRef effect(suites_.EffectSuite2()->AEGP_DisposeEffect);
    if (PF_Err err =
            suites_.PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(pluginId_, inData_->effect_ref, effect.put())) {
        return err;
    }
    const PF_Err err = hidden ? hide(effect.get()) : show(effect.get());
    return firstError(err, effect.dispose());
}

PF_Err StreamBase::hide() { return setHiddenOnOwnEffect(true); }

PF_Err StreamBase::show() { return setHiddenOnOwnEffect(false); }

PF_Err StreamBase::getKeyframeNum(int& num) const {
    int32_t count = 0;
    const PF_Err err = suites_.KeyframeSuite4()->AEGP_GetStreamNumKFs(stream_, &count);
    if (err == PF_Err_NONE) num = count;
    return err;
}

PF_Err StreamBase::getKeyframeTime(int index, short timeMode, A_Time& time) const {
    return suites_.KeyframeSuite4()->AEGP_GetKeyframeTime(stream_, index, timeMode, &time);
}

PF_Err StreamBase::getExpressionState(unsigned char& enabled) const {
    PF_Boolean state = 0;
    const PF_Err err = suites_.StreamSuite9()->AEGP_GetExpressionState(pluginId_, stream_, &state);
    if (err == PF_Err_NONE) enabled = state;
    return err;
}

PF_Err StreamBase::setExpressionState(unsigned char enabled) {
    return suites_.StreamSuite9()->AEGP_SetExpressionState(pluginId_, stream_, enabled);
}

PF_Err StreamBase::getExpression(std::string& expression) const {
    MemHandle text(suites_.MemorySuite1());
    PF_Err err = suites_.StreamSuite9()->AEGP_GetExpression(pluginId_, stream_, text.put());
    if (!text) return err;
    std::vector<char> bytes;
    if (err == PF_Err_NONE) err = text.read(bytes);
    // Read up to the handle's end even when the host left off the terminator.
    if (!bytes.empty() || err == PF_Err_NONE)
        expression.assign(bytes.begin(), std::find(bytes.begin(), bytes.end(), '\0'));
    return firstError(err, text.free());
}

PF_Err StreamBase::setExpression(const std::string& expression) {
    return suites_.StreamSuite9()->AEGP_SetExpression(pluginId_, stream_, expression.c_str());
}

// ---------------------------------------------------------------- Stream<T>

template <typename T>
void Stream<T>::forgetStream() {
    initialised_ = false;
    constant_ = false;
    cached_ = T{};
}

template <typename T>
PF_Err Stream<T>::init_() {
    const AEGP_StreamSuite9* streams = suites_.StreamSuite9();
    PF_Boolean varying = 0;
    if (PF_Err err = streams->AEGP_IsStreamTimevarying(stream_, &varying)) return err;
    if (varying) {
        constant_ = false;
        initialised_ = true;
        return PF_Err_NONE;
    }
    const A_Time now{inData_->current_time, inData_->time_scale};
    AEGP_StreamValue2 value{};
    if (PF_Err err =
            streams->AEGP_GetNewStreamValue(pluginId_, stream_, AEGP_LTimeMode_LayerTime, &now, false, &value)) {
        return err;
    }
    const T read = StreamValueTraits<T>::read(value.val);
    if (PF_Err err = streams->AEGP_DisposeStreamValue(&value)) return err;
    cached_ = read;
    constant_ = true;
    initialised_ = true;
    return PF_Err_NONE;
}

template <typename T>
PF_Err Stream<T>::isConstant(bool* constant) {
    if (!initialised_) {
        if (PF_Err err = init_()) return err;
    }
    *constant = constant_;
    return PF_Err_NONE;
}

template <typename T>
PF_Err Stream<T>::getValue(A_Time time, short timeMode, bool preExpression, T* value) {
    if (!initialised_) {
        if (PF_Err err = init_()) {
            *value = T{};
            return err;
        }
    }
    if (constant_) {
        *value = cached_;
        return PF_Err_NONE;
    }
    const AEGP_StreamSuite9* streams = suites_.StreamSuite9();
    AEGP_StreamValue2 read{};
    if (PF_Err err = streams->AEGP_GetNewStreamValue(pluginId_, stream_, timeMode, &time, preExpression, &read)) {
        return err;
    }
    *value = StreamValueTraits<T>::read(read.val);
    return streams->AEGP_DisposeStreamValue(&read);
}

template <typename T>
PF_Err Stream<T>::setValue(A_Time time, short timeMode, const T& value) {
    const AEGP_StreamSuite9* streams = suites_.StreamSuite9();
    AEGP_StreamValue2 record{};
    if (PF_Err err = streams->AEGP_GetNewStreamValue(pluginId_, stream_, timeMode, &time, true, &record)) return err;
    StreamValueTraits<T>::write(value, record.val);
    const PF_Err err = streams->AEGP_SetStreamValue(pluginId_, stream_, &record);
    // The stream changed: a cached value would now answer with what it held before.
    if (err == PF_Err_NONE) forgetStream();
    return firstError(err, streams->AEGP_DisposeStreamValue(&record));
}

// ---------------------------------------------------------------- Keyframer

template <typename T>
Stream<T>::Keyframer::Keyframer(int pluginId, AEGP_SuiteHandler& suites, AEGP_StreamRefH stream)
    : pluginId_(pluginId), suites_(suites), stream_(stream) {}

template <typename T>
Stream<T>::Keyframer::Keyframer(Keyframer&& other) noexcept
    : pluginId_(other.pluginId_), suites_(other.suites_), stream_(other.stream_), batch_(other.batch_) {
    other.batch_ = nullptr;
}

template <typename T>
Stream<T>::Keyframer::~Keyframer() {
    if (batch_ == nullptr) return;
    try {
        suites_.KeyframeSuite4()->AEGP_EndAddKeyframes(true, batch_);
    } catch (...) {
    }
}

template <typename T>
PF_Err Stream<T>::Keyframer::add(short timeMode, A_Time time, const T& value) {
    const AEGP_KeyframeSuite4* keyframes = suites_.KeyframeSuite4();
    if (batch_ == nullptr) {
        if (PF_Err err = keyframes->AEGP_StartAddKeyframes(stream_, &batch_)) return err;
    }
    int32_t index = 0;
    if (PF_Err err = keyframes->AEGP_AddKeyframe(batch_, timeMode, &time, &index)) return err;
    const AEGP_StreamSuite9* streams = suites_.StreamSuite9();
    AEGP_StreamValue2 record{};
    if (PF_Err err = streams->AEGP_GetNewStreamValue(pluginId_, stream_, timeMode, &time, true, &record)) return err;
    StreamValueTraits<T>::write(value, record.val);
    const PF_Err err = keyframes->AEGP_SetAddKeyframe(batch_, index, &record);
    return firstError(err, streams->AEGP_DisposeStreamValue(&record));
}

template class Stream<bool>;
template class Stream<int>;
template class Stream<double>;
template class Stream<AEGP_TwoDVal>;
template class Stream<AEGP_ThreeDVal>;
template class Stream<AEGP_ColorVal>;

// ---------------------------------------------------------------- one-call reads and writes

template <typename T>
PF_Err getEffectValue(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
                      A_Time time, short timeMode, bool preExpression, T* value) {
    Stream<T> stream(pluginId, in_data, suites);
    if (PF_Err err = stream.init(effect, index)) return err;
    return stream.getValue(time, timeMode, preExpression, value);
}

template <typename T>
PF_Err setEffectValue(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
                      A_Time time, short timeMode, T value) {
    Stream<T> stream(pluginId, in_data, suites);
    if (PF_Err err = stream.init(effect, index)) return err;
    return stream.setValue(time, timeMode, value);
}

template <typename T>
PF_Err getLayerStreamValue(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_LayerH layer, int which,
                           A_Time time, short timeMode, bool preExpression, T* value) {
    Stream<T> stream(pluginId, in_data, suites);
    if (PF_Err err = stream.init(layer, which)) return err;
    return stream.getValue(time, timeMode, preExpression, value);
}

template <typename T>
PF_Err setLayerStreamValue(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_LayerH layer, int which,
                           A_Time time, short timeMode, T value) {
    Stream<T> stream(pluginId, in_data, suites);
    if (PF_Err err = stream.init(layer, which)) return err;
    return stream.setValue(time, timeMode, value);
}

#define MORVEL_STREAM_FREE_FUNCTIONS(T)                                                                                \
    template PF_Err getEffectValue<T>(int, PF_InData*, AEGP_SuiteHandler&, AEGP_EffectRefH, int, A_Time, short, bool,  \
                                      T*);                                                                             \
    template PF_Err setEffectValue<T>(int, PF_InData*, AEGP_SuiteHandler&, AEGP_EffectRefH, int, A_Time, short, T);    \
    template PF_Err getLayerStreamValue<T>(int, PF_InData*, AEGP_SuiteHandler&, AEGP_LayerH, int, A_Time, short, bool, \
                                           T*);                                                                        \
    template PF_Err setLayerStreamValue<T>(int, PF_InData*, AEGP_SuiteHandler&, AEGP_LayerH, int, A_Time, short, T);

MORVEL_STREAM_FREE_FUNCTIONS(bool)
MORVEL_STREAM_FREE_FUNCTIONS(int)
MORVEL_STREAM_FREE_FUNCTIONS(double)
MORVEL_STREAM_FREE_FUNCTIONS(AEGP_TwoDVal)
MORVEL_STREAM_FREE_FUNCTIONS(AEGP_ThreeDVal)
MORVEL_STREAM_FREE_FUNCTIONS(AEGP_ColorVal)

#undef MORVEL_STREAM_FREE_FUNCTIONS

}  // namespace Morvel
