#include "Util/AEGP_SuiteHandler.h"

namespace {

struct SuiteName {
    const char* name;
    int version;
};

// Indexed by AEGP_SuiteHandler::Slot.
constexpr SuiteName kSuiteNames[] = {
    {"PF Handle Suite", 2},           {"PF World Suite", 1},      {"PF World Suite", 2},
    {"PF Param Utils Suite", 2},      {"PF Iterate8 Suite", 1},   {"AEGP Iterate Suite", 1},
    {"PF Sampling8 Suite", 1},        {"PF Sampling16 Suite", 1}, {"PF SamplingFloat Suite", 1},
    {"PF Effect Custom UI Suite", 1}, {"DRAWBOT Draw Suite", 1},  {"DRAWBOT Surface Suite", 1},
    {"AEGP PF Interface Suite", 1},   {"AEGP Layer Suite", 13},   {"AEGP Effect Suite", 2},
    {"AEGP Effect Suite", 3},         {"AEGP Stream Suite", 9},   {"AEGP Dynamic Stream Suite", 5},
    {"AEGP Keyframe Suite", 4},       {"AEGP Memory Suite", 1},   {"AEGP Utility Suite", 7},
    {"AEGP Utility Suite", 11},
};

}  // namespace

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* basic) : basic_(basic) {
    static_assert(sizeof(kSuiteNames) / sizeof(kSuiteNames[0]) == SlotCount);
    for (auto& slot : slots_) slot.store(nullptr, std::memory_order_relaxed);
    if (basic_ == nullptr) MissingSuiteError();
}

AEGP_SuiteHandler::~AEGP_SuiteHandler() { ReleaseAllSuites(); }

void* AEGP_SuiteHandler::LoadSuite(const char* name, int version) const {
    const void* suite = nullptr;
    const SPErr err = basic_->AcquireSuite(name, version, &suite);
    if (err != kSPNoError || suite == nullptr) MissingSuiteError();
    return const_cast<void*>(suite);
}

void AEGP_SuiteHandler::MissingSuiteError() const { throw static_cast<PF_Err>(PF_Err_BAD_CALLBACK_PARAM); }

void AEGP_SuiteHandler::ReleaseSuite(const char* name, int version) { basic_->ReleaseSuite(name, version); }

void AEGP_SuiteHandler::ReleaseAllSuites() {
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (slots_[slot].exchange(nullptr, std::memory_order_acq_rel) != nullptr) {
            ReleaseSuite(kSuiteNames[slot].name, kSuiteNames[slot].version);
        }
    }
}

const void* AEGP_SuiteHandler::suite(Slot slot) const {
    const void* cached = slots_[slot].load(std::memory_order_acquire);
    if (cached != nullptr) return cached;
    const SuiteName& which = kSuiteNames[slot];
    const void* loaded = LoadSuite(which.name, which.version);
    if (slots_[slot].compare_exchange_strong(cached, loaded, std::memory_order_acq_rel)) return loaded;
    // Another thread filled the slot first; give back our extra acquisition.
    basic_->ReleaseSuite(which.name, which.version);
    return cached;
}

#define MORVEL_SUITE_ACCESSOR(Type, Name, SlotName) \
    const Type* AEGP_SuiteHandler::Name() const { return static_cast<const Type*>(suite(SlotName)); }

MORVEL_SUITE_ACCESSOR(PF_HandleSuite2, HandleSuite2, HandleSlot2)
MORVEL_SUITE_ACCESSOR(PF_WorldSuite1, WorldSuite1, WorldSlot1)
MORVEL_SUITE_ACCESSOR(PF_WorldSuite2, WorldSuite2, WorldSlot2)
MORVEL_SUITE_ACCESSOR(PF_ParamUtilsSuite2, ParamUtilsSuite2, ParamUtilsSlot2)
MORVEL_SUITE_ACCESSOR(PF_Iterate8Suite1, Iterate8Suite1, Iterate8Slot1)
MORVEL_SUITE_ACCESSOR(AEGP_IterateSuite1, IterateSuite1, IterateSlot1)
MORVEL_SUITE_ACCESSOR(PF_Sampling8Suite1, Sampling8Suite1, Sampling8Slot1)
MORVEL_SUITE_ACCESSOR(PF_Sampling16Suite1, Sampling16Suite1, Sampling16Slot1)
MORVEL_SUITE_ACCESSOR(PF_SamplingFloatSuite1, SamplingFloatSuite1, SamplingFloatSlot1)
MORVEL_SUITE_ACCESSOR(PF_EffectCustomUISuite1, EffectCustomUISuite1, EffectCustomUISlot1)
MORVEL_SUITE_ACCESSOR(DRAWBOT_DrawSuite1, DrawbotDrawSuite1, DrawbotDrawSlot1)
MORVEL_SUITE_ACCESSOR(DRAWBOT_SurfaceSuite1, DrawbotSurfaceSuite1, DrawbotSurfaceSlot1)
MORVEL_SUITE_ACCESSOR(AEGP_PFInterfaceSuite1, PFInterfaceSuite1, PFInterfaceSlot1)
MORVEL_SUITE_ACCESSOR(AEGP_LayerSuite13, LayerSuite13, LayerSlot13)
MORVEL_SUITE_ACCESSOR(AEGP_EffectSuite2, EffectSuite2, EffectSlot2)
MORVEL_SUITE_ACCESSOR(AEGP_EffectSuite3, EffectSuite3, EffectSlot3)
MORVEL_SUITE_ACCESSOR(AEGP_StreamSuite9, StreamSuite9, StreamSlot9)
MORVEL_SUITE_ACCESSOR(AEGP_DynamicStreamSuite5, DynamicStreamSuite5, DynamicStreamSlot5)
MORVEL_SUITE_ACCESSOR(AEGP_KeyframeSuite4, KeyframeSuite4, KeyframeSlot4)
MORVEL_SUITE_ACCESSOR(AEGP_MemorySuite1, MemorySuite1, MemorySlot1)
MORVEL_SUITE_ACCESSOR(AEGP_UtilitySuite7, UtilitySuite7, UtilitySlot7)
MORVEL_SUITE_ACCESSOR(AEGP_UtilitySuite11, UtilitySuite11, UtilitySlot11)

#undef MORVEL_SUITE_ACCESSOR
