#pragma once

// The simulated project: compositions, layers, effect instances and their streams, and the
// references, stream values, keyframe batches and memory handles the project suites hand out.
// Everything handed out is in the ledger; everything handed back is looked up before use.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "host/sim/host.h"

namespace Sim {

struct ProjectComp;
struct ProjectLayer;
struct ProjectEffect;
struct ProjectMask;

// One value of a stream. Which member counts follows from the stream's type: `v` holds the
// one-, two- and three-dimensional values and the colour (alpha, red, green, blue); `id` a layer
// or mask id; arbitrary data is `arb`, a value made by the effect, when the stream has an
// effect's callback (ProjectStream::arbitrary), else `bytes`.
struct StreamData {
    double v[4] = {0, 0, 0, 0};
    int32_t id = 0;
    std::vector<char> bytes;
    PF_Handle arb = nullptr;  // owned by the stream's value or key it sits in, not by copies
};

struct Keyframe {
    A_Time time{0, 1};  // layer time, as it was added
    StreamData value;
};

struct ProjectStream {
    std::u16string name;
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    StreamData value;            // the value while there are no keyframes
    std::vector<Keyframe> keys;  // ordered by time
    std::string expression;      // kept, never evaluated
    bool expressionEnabled = false;
    AEGP_DynStreamFlags flags = 0;
    bool renamable = false;
    ProjectStream* parent = nullptr;
    std::vector<ProjectStream*> children;
    ProjectLayer* layer = nullptr;
    // Makes, copies and disposes the arbitrary values of this stream, when the effect does.
    ArbitraryParam* arbitrary = nullptr;

    bool timeVarying() const { return !keys.empty() || (expressionEnabled && !expression.empty()); }
    // Keys hold between neighbours of the id and arbitrary kinds and interpolate linearly otherwise.
    StreamData valueAt(double layerSeconds) const;
    int indexInParent() const;
};

struct ParamSpec {
    std::u16string name;
    AEGP_StreamType type = AEGP_StreamType_OneD;
    StreamData initial;
};

struct InstalledEffect {
    AEGP_InstalledEffectKey key = 0;
    std::u16string name;
    std::vector<ParamSpec> params;  // index 0 is the input layer
};

struct ProjectEffect {
    const InstalledEffect* installed = nullptr;
    AEGP_EffectFlags flags = AEGP_EffectFlags_ACTIVE;
    ProjectLayer* layer = nullptr;
    ProjectStream* group = nullptr;         // carries the instance's name
    std::vector<ProjectStream*> params;     // by parameter index
    PF_EffectInstance* instance = nullptr;  // the running instance, when linked
};

struct ProjectMask {
    AEGP_MaskIDVal id = 0;
    ProjectLayer* layer = nullptr;
    ProjectStream* group = nullptr;
    ProjectStream* streams[AEGP_MaskStream_COUNT] = {};
};

struct ProjectLayer {
    AEGP_LayerIDVal id = 0;
    AEGP_ObjectType objectType = AEGP_ObjectType_AV;
    ProjectComp* comp = nullptr;
    A_Time start{0, 1};  // composition time of the layer's time 0
    ProjectStream* root = nullptr;
    ProjectStream* transform[AEGP_LayerStream_COUNT] = {};
    ProjectStream* effectsGroup = nullptr;  // children in stack order
    ProjectStream* masksGroup = nullptr;
    std::vector<ProjectEffect*> effects;  // stack order
    std::vector<ProjectMask*> masks;
};

struct ProjectComp {
    std::string name;
    std::vector<ProjectLayer*> layers;
};

class Project {
public:
    explicit Project(Host& host);
    ~Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    // --- building the model (for tests and the tool)
    ProjectComp& addComp(const std::string& name);
    ProjectLayer& addLayer(ProjectComp& comp, const std::u16string& name, AEGP_ObjectType type);
    AEGP_InstalledEffectKey installEffect(const std::u16string& name, std::vector<ParamSpec> params);
    // Appends an instance of the installed effect to the layer's stack; null for an unknown key.
    ProjectEffect* addEffect(ProjectLayer& layer, AEGP_InstalledEffectKey key);
    ProjectMask& addMask(ProjectLayer& layer, const std::u16string& name);
    // Makes `instance` the running instance of `effect`, as when the host calls the plug-in for it.
    void link(ProjectEffect& effect, PF_EffectInstance& instance);
    // Puts a plug-in's instance on a layer of its own (in a new composition): installs an effect
    // whose streams follow the instance's registered parameters and their current values, and
    // links the two. The streams hold the values from then on: check-out reads them. Arbitrary
    // values the instance's owners made (PF_EffectInstance::arbitrary) move into the streams.
    ProjectEffect& adopt(PF_EffectInstance& instance, const std::u16string& name,
                         AEGP_ObjectType layerType = AEGP_ObjectType_AV);
    // Takes a linked instance out: the arbitrary values its effect made for the streams are
    // given back to it, and its effect stays in the project without a running instance.
    void unlink(PF_EffectInstance& instance);
    // The value fields of parameter index at a layer time, from the stream of a linked instance;
    // the rest of `param` is left as it is. False when no stream holds the parameter's value.
    // An arbitrary value is a copy made by the effect, recorded for check-in.
    bool paramAt(PF_EffectInstance& instance, int index, double layerSeconds, PF_ParamDef& param, PF_Err& err);
    // Writes a parameter's value into its stream (when it has one and no keyframes) and into the
    // instance's record.
    void setParam(PF_EffectInstance& instance, int index, const PF_ParamDef& value);
    // Makes an arbitrary value the effect made (owned from now on) the value of parameter index,
    // giving the one it replaces back. False, and nothing taken, when no stream without keyframes
    // holds the parameter's value.
    bool takeArbitrary(PF_EffectInstance& instance, int index, PF_Handle value);
    void moveEffect(ProjectEffect& effect, size_t index);

    static AEGP_LayerH handleOf(ProjectLayer& layer) { return reinterpret_cast<AEGP_LayerH>(&layer); }
    static AEGP_CompH handleOf(ProjectComp& comp) { return reinterpret_cast<AEGP_CompH>(&comp); }
    static AEGP_MaskRefH handleOf(ProjectMask& mask) { return reinterpret_cast<AEGP_MaskRefH>(&mask); }

    // --- looking up what effects hand back; null (and a logged error) when unknown
    ProjectLayer* findLayer(AEGP_LayerH layer, const char* caller);
    ProjectMask* findMask(AEGP_MaskRefH mask, const char* caller);
    ProjectEffect* findInstance(PF_ProgPtr effect_ref, const char* caller);

    // --- references, each in the ledger until disposed
    AEGP_EffectRefH newEffectRef(ProjectEffect& effect);
    ProjectEffect* findEffectRef(AEGP_EffectRefH ref, const char* caller);
    bool disposeEffectRef(AEGP_EffectRefH ref);

    AEGP_StreamRefH newStreamRef(ProjectStream& stream);
    ProjectStream* findStreamRef(AEGP_StreamRefH ref, const char* caller);
    bool disposeStreamRef(AEGP_StreamRefH ref);
    size_t liveStreamRefs() const;

    // --- stream values, keyed by the address of the record they were written into
    PF_Err newStreamValue(ProjectStream& stream, AEGP_StreamRefH ref, const StreamData& data, AEGP_StreamValue2* value);
    // Reads a value record into the stream's form; an error when it cannot be read (logged), or
    // the effect's own when it could not copy an arbitrary value. An arbitrary value read is the
    // effect's copy, which the caller then owns (see keepData).
    PF_Err readStreamValue(const ProjectStream& stream, const AEGP_StreamValue2& value, StreamData& data,
                           const char* caller);
    PF_Err disposeStreamValue(AEGP_StreamValue2* value);
    // Puts data (owned) in place of what `slot` of the stream held, which is given back.
    void keepData(ProjectStream& stream, StreamData& slot, StreamData&& data);
    // Gives an arbitrary value the stream owns back to its maker.
    void dropData(ProjectStream& stream, StreamData& data);

    // --- keyframe batches
    struct PendingKey {
        A_Time time;
        bool valueSet = false;
        StreamData value;
    };
    struct Batch {
        ProjectStream* stream = nullptr;
        std::vector<PendingKey> keys;
    };
    AEGP_AddKeyframesInfoH newBatch(ProjectStream& stream);
    Batch* findBatch(AEGP_AddKeyframesInfoH batch, const char* caller);
    void endBatch(AEGP_AddKeyframesInfoH batch, bool commit);

    // --- memory handles of the memory suite
    struct MemBlock {
        std::vector<char> bytes;
        int locks = 0;
        std::string what;
    };
    AEGP_MemHandle newMemHandle(const std::string& what, size_t size);
    MemBlock* findMemHandle(AEGP_MemHandle mem, const char* caller);
    void freeMemHandle(AEGP_MemHandle mem);

    // Takes back every reference, stream value, batch and memory handle still given out (and
    // their ledger entries): for a session that ends with an effect having leaked them, or a test
    // that made a release fail on purpose. Returns how many there were.
    size_t releaseEverything();

    // Layer time in seconds of a time given in the mode; false for a bad time (logged).
    bool layerSeconds(const ProjectLayer* layer, AEGP_LTimeMode mode, const A_Time* time, double& seconds,
                      const char* caller);

    Host& host() { return host_; }
    std::recursive_mutex& mutex() { return mutex_; }
    PF_Err fail(const char* caller, const std::string& what, PF_Err err = PF_Err_BAD_CALLBACK_PARAM);

private:
    ProjectStream& newStream(ProjectStream* parent, const std::u16string& name, AEGP_StreamType type,
                             ProjectLayer* layer);
    uintptr_t nextToken();

    Host& host_;
    std::recursive_mutex mutex_;
    std::vector<std::unique_ptr<ProjectComp>> comps_;
    std::vector<std::unique_ptr<ProjectLayer>> layers_;
    std::vector<std::unique_ptr<ProjectEffect>> effects_;
    std::vector<std::unique_ptr<ProjectMask>> masks_;
    std::vector<std::unique_ptr<ProjectStream>> streams_;
    std::vector<std::unique_ptr<InstalledEffect>> installed_;
    std::map<PF_EffectInstance*, ProjectEffect*> instances_;
    // Tokens are never reused, so a stale reference can never alias a live one.
    uintptr_t lastToken_ = 0x10000;
    std::map<uintptr_t, ProjectEffect*> effectRefs_;
    std::map<uintptr_t, ProjectStream*> streamRefs_;
    std::map<uintptr_t, Batch> batches_;
    std::map<uintptr_t, MemBlock> memHandles_;
    struct LiveValue {
        AEGP_StreamType type;
        PF_Handle arb;
        std::string ledgerKey;
        ArbitraryParam* owner = nullptr;  // made arb, when the effect did
    };
    void disposeLive(LiveValue& live);
    std::map<const AEGP_StreamValue2*, LiveValue> values_;
    // Values whose record was written over before they were disposed: leaked, kept in the ledger.
    std::vector<LiveValue> orphans_;
    // Ledger keys of locks on memory handles freed while locked.
    std::vector<std::string> orphanLocks_;
    AEGP_InstalledEffectKey nextKey_ = 1;
    int32_t nextLayerId_ = 1;
};

// Opens a project suite function: the call is logged, counted by the fault plan (which may fail
// it) and serialised with every other project call. Defines `host` and `project`.
#define MORVEL_SIM_PROJECT_CALL(name)             \
    Host& host = Host::current();                 \
    Project& project = host.project();            \
    std::lock_guard projectLock(project.mutex()); \
    host.log().add(name);                         \
    if (PF_Err planned = host.faults().onCall(name)) return planned

// What a reference an effect hands back names, looked up for the suite function `caller`; null
// (and a logged refusal) when the project knows no such thing.
inline ProjectLayer* lookUp(Project& project, AEGP_LayerH ref, const char* caller) {
    return project.findLayer(ref, caller);
}
inline ProjectMask* lookUp(Project& project, AEGP_MaskRefH ref, const char* caller) {
    return project.findMask(ref, caller);
}
inline ProjectEffect* lookUp(Project& project, PF_ProgPtr ref, const char* caller) {
    return project.findInstance(ref, caller);
}
inline ProjectEffect* lookUp(Project& project, AEGP_EffectRefH ref, const char* caller) {
    return project.findEffectRef(ref, caller);
}
inline ProjectStream* lookUp(Project& project, AEGP_StreamRefH ref, const char* caller) {
    return project.findStreamRef(ref, caller);
}
inline Project::Batch* lookUp(Project& project, AEGP_AddKeyframesInfoH ref, const char* caller) {
    return project.findBatch(ref, caller);
}
inline Project::MemBlock* lookUp(Project& project, AEGP_MemHandle ref, const char* caller) {
    return project.findMemHandle(ref, caller);
}

namespace detail {

// act's own error, or none when it answers nothing.
template <typename Act, typename... Args>
PF_Err runAct(Act& act, Args&... args) {
    if constexpr (std::is_void_v<std::invoke_result_t<Act&, Args&...>>) {
        act(args...);
        return PF_Err_NONE;
    } else {
        return act(args...);
    }
}

}  // namespace detail

// A project suite function on what a reference names: opened as MORVEL_SIM_PROJECT_CALL opens
// it, the reference looked up (an unknown one refused), then act(project, object).
template <typename Ref, typename Act>
PF_Err onReferenced(const char* name, Ref ref, Act act) {
    MORVEL_SIM_PROJECT_CALL(name);
    auto* object = lookUp(project, ref, name);
    if (object == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    return detail::runAct(act, project, *object);
}

// The same for a function that answers through `result`, then act(project, object, *result): a
// null result is refused before the look-up, and a handle result is cleared first, so that a
// refusal never leaves the effect a stale one.
template <typename Ref, typename Result, typename Act>
PF_Err answerFor(const char* name, Ref ref, Result* result, Act act) {
    MORVEL_SIM_PROJECT_CALL(name);
    if (result == nullptr) return project.fail(name, "null result pointer");
    if constexpr (std::is_pointer_v<Result>) *result = nullptr;
    auto* object = lookUp(project, ref, name);
    if (object == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    return detail::runAct(act, project, *object, *result);
}

// Tolerance for two times being the same instant.
constexpr double kSameTime = 1e-9;

void installStreamSuites(Host& host);
void installEffectSuites(Host& host);
void installMemorySuite(Host& host);

}  // namespace Sim
