#pragma once

#include <string>

#include "Util/AEGP_SuiteHandler.h"
#include "morvel_host/host.h"

namespace Morvel {

// Owns one stream reference of the host: an effect parameter, a layer property, a mask, or the
// group another stream belongs to. Every call returns the host's error code; the first error
// of a sequence wins, clean-up runs regardless.
class StreamBase {
public:
    StreamBase(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites);
    virtual ~StreamBase();

    // A copy would dispose the one reference twice.
    StreamBase(const StreamBase&) = delete;
    StreamBase& operator=(const StreamBase&) = delete;

    // Each init disposes the stream held so far; when that fails, its error is returned and no
    // new stream is taken.
    PF_Err init(AEGP_EffectRefH effect, int index);
    PF_Err init(AEGP_LayerH layer, int which);
    PF_Err init(AEGP_StreamRefH stream);  // the stream's parent group
    PF_Err init(AEGP_MaskRefH mask);
    PF_Err init(AEGP_MaskRefH mask, int which);
    PF_Err dispose();

    PF_Err hide(AEGP_EffectRefH effect);
    PF_Err show(AEGP_EffectRefH effect);
    // On the effect instance that runs the current command.
    PF_Err hide();
    PF_Err show();

    PF_Err getKeyframeNum(int& num) const;
    PF_Err getKeyframeTime(int index, short timeMode, A_Time& time) const;

    PF_Err getExpressionState(unsigned char& enabled) const;
    PF_Err setExpressionState(unsigned char enabled);
    PF_Err getExpression(std::string& expression) const;
    PF_Err setExpression(const std::string& expression);

    AEGP_StreamRefH stream() const { return stream_; }

protected:
    // Called whenever the held stream is let go, so that what was learnt about it is forgotten.
    virtual void forgetStream() {}

    PF_Err setHidden(bool hidden);
    PF_Err setHiddenOnOwnEffect(bool hidden);

    int pluginId_;
    PF_InData* inData_;
    AEGP_SuiteHandler& suites_;
    AEGP_StreamRefH stream_ = nullptr;
};

// A stream read and written as T: bool, int, double, AEGP_TwoDVal, AEGP_ThreeDVal or
// AEGP_ColorVal. A stream that is not time-varying is read once and answered from a cache.
template <typename T>
class Stream : public StreamBase {
public:
    using StreamBase::StreamBase;

    // Adds keyframes to the stream in one batch, opened by the first add and closed (committed)
    // when the keyframer goes.
    class Keyframer {
    public:
        Keyframer(int pluginId, AEGP_SuiteHandler& suites, AEGP_StreamRefH stream);
        ~Keyframer();
        Keyframer(const Keyframer&) = delete;
        Keyframer& operator=(const Keyframer&) = delete;
        Keyframer(Keyframer&& other) noexcept;
        Keyframer& operator=(Keyframer&&) = delete;

        PF_Err add(short timeMode, A_Time time, const T& value);

    private:
        int pluginId_;
        AEGP_SuiteHandler& suites_;
        AEGP_StreamRefH stream_;
        AEGP_AddKeyframesInfoH batch_ = nullptr;
    };

    PF_Err isConstant(bool* constant);
    PF_Err getValue(A_Time time, short timeMode, bool preExpression, T* value);
    PF_Err setValue(A_Time time, short timeMode, const T& value);
    Keyframer getKeyframer() const { return Keyframer(pluginId_, suites_, stream_); }

protected:
    void forgetStream() override;

private:
    PF_Err init_();

    bool initialised_ = false;
    T cached_{};
    bool constant_ = false;
};

// One read or write in a call, through a temporary stream.
template <typename T>
PF_Err getEffectValue(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
                      A_Time time, short timeMode, bool preExpression, T* value);
template <typename T>
PF_Err setEffectValue(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
                      A_Time time, short timeMode, T value);
template <typename T>
PF_Err getLayerStreamValue(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_LayerH layer, int which,
                           A_Time time, short timeMode, bool preExpression, T* value);
template <typename T>
PF_Err setLayerStreamValue(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_LayerH layer, int which,
                           A_Time time, short timeMode, T value);

// Defined in stream.cpp for these six.
extern template class Stream<bool>;
extern template class Stream<int>;
extern template class Stream<double>;
extern template class Stream<AEGP_TwoDVal>;
extern template class Stream<AEGP_ThreeDVal>;
extern template class Stream<AEGP_ColorVal>;

}  // namespace Morvel
