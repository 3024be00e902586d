#pragma once

#include <atomic>

#include "morvel_host/host.h"

// Suites whose full tables live in headers added with the code that uses them.
struct AEGP_PFInterfaceSuite1;
struct AEGP_LayerSuite13;
struct AEGP_EffectSuite2;
struct AEGP_EffectSuite3;
struct AEGP_StreamSuite9;
struct AEGP_DynamicStreamSuite5;
struct AEGP_KeyframeSuite4;
struct DRAWBOT_DrawSuite1;
struct DRAWBOT_SurfaceSuite1;

// Acquires the host's suites on first use and releases them all when it goes. A missing suite
// is thrown as the host error 516 (a PF_Err), which the plug-in's entry returns.
//
// Band work on host worker threads may call the accessors of the render's handler, so a slot is
// filled with a compare-and-swap: a thread that loses the race releases its extra acquisition.
class AEGP_SuiteHandler {
public:
    explicit AEGP_SuiteHandler(const SPBasicSuite* basic);
    ~AEGP_SuiteHandler();

    AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
    AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

    const PF_HandleSuite2* HandleSuite2() const;
    const PF_WorldSuite1* WorldSuite1() const;
    const PF_WorldSuite2* WorldSuite2() const;
    const PF_ParamUtilsSuite2* ParamUtilsSuite2() const;
    const PF_Iterate8Suite1* Iterate8Suite1() const;
    const AEGP_IterateSuite1* IterateSuite1() const;
    const PF_Sampling8Suite1* Sampling8Suite1() const;
    const PF_Sampling16Suite1* Sampling16Suite1() const;
    const PF_SamplingFloatSuite1* SamplingFloatSuite1() const;
    const PF_EffectCustomUISuite1* EffectCustomUISuite1() const;
    const DRAWBOT_DrawSuite1* DrawbotDrawSuite1() const;
    const DRAWBOT_SurfaceSuite1* DrawbotSurfaceSuite1() const;
    const AEGP_PFInterfaceSuite1* PFInterfaceSuite1() const;
    const AEGP_LayerSuite13* LayerSuite13() const;
    const AEGP_EffectSuite2* EffectSuite2() const;
    const AEGP_EffectSuite3* EffectSuite3() const;
    const AEGP_StreamSuite9* StreamSuite9() const;
    const AEGP_DynamicStreamSuite5* DynamicStreamSuite5() const;
    const AEGP_KeyframeSuite4* KeyframeSuite4() const;
    const AEGP_MemorySuite1* MemorySuite1() const;
    const AEGP_UtilitySuite7* UtilitySuite7() const;
    const AEGP_UtilitySuite11* UtilitySuite11() const;

    void* LoadSuite(const char* name, int version) const;
    [[noreturn]] void MissingSuiteError() const;
    void ReleaseSuite(const char* name, int version);
    void ReleaseAllSuites();

    const SPBasicSuite* basicSuite() const { return basic_; }

private:
    enum Slot : int {
        HandleSlot2,
        WorldSlot1,
        WorldSlot2,
        ParamUtilsSlot2,
        Iterate8Slot1,
        IterateSlot1,
        Sampling8Slot1,
        Sampling16Slot1,
        SamplingFloatSlot1,
        EffectCustomUISlot1,
        DrawbotDrawSlot1,
        DrawbotSurfaceSlot1,
        PFInterfaceSlot1,
        LayerSlot13,
        EffectSlot2,
        EffectSlot3,
        StreamSlot9,
        DynamicStreamSlot5,
        KeyframeSlot4,
        MemorySlot1,
        UtilitySlot7,
        UtilitySlot11,
        SlotCount
    };

    const void* suite(Slot slot) const;

    const SPBasicSuite* basic_;
    mutable std::atomic<const void*> slots_[SlotCount];
};
