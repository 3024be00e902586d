#pragma once

// The simulated host: what stands behind the basic suite, the suites and the callbacks of the
// input record while the real host is not present. One Host exists at a time; the C callbacks
// it hands out reach it through Host::current().

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "morvel_host/host.h"

namespace Sim {

class ArbitraryParam;  // host/sim/arbitrary_param.h
class Project;
struct ProjectEffect;
class Iteration;  // host/sim/iterate.h
class WorldStore;

// Everything acquired and not yet given back: suites, handles and their locks, worlds, check-outs,
// pre-render data, references. Keys are counted, so a suite acquired twice must be released
// twice. Besides, the faults: every refusal the host logged ("error:", "problem:") and every
// release of something not held.
class Ledger {
public:
    void acquire(std::string_view kind, const std::string& key, const std::string& what = {});
    // False, and remembered as a fault, when the key is not held.
    bool release(std::string_view kind, const std::string& key);
    // Gives back every entry of the kind whose key starts with prefix (what the host takes back
    // itself, such as the layer check-outs at the end of a frame); returns how many.
    size_t releaseAll(std::string_view kind, std::string_view prefix = {});
    bool holds(std::string_view kind, const std::string& key) const;

    void fault(std::string what);
    std::vector<std::string> faults() const;

    size_t outstanding() const;
    size_t outstanding(std::string_view kind) const;
    // How many entries of each kind are held.
    std::map<std::string, size_t> heldByKind() const;
    size_t badReleases() const;
    bool balanced() const { return outstanding() == 0 && badReleases() == 0; }
    // One line per outstanding entry and per fault, for assertion messages.
    std::string report() const;
    void reset();

    static std::string keyOf(const void* pointer);

private:
    struct Entry {
        int count = 0;
        std::string what;
    };
    mutable std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, Entry> entries_;
    std::vector<std::string> badReleases_;
    std::vector<std::string> faults_;
};

// Calls the effects made to the host, in order, one line each. Lines that start with "error:" or
// "problem:" are refusals and go to the ledger as faults as well, so none is lost when the log
// is full. The log keeps the most recent lines only (a ring of capacity() lines): a long render
// or session would otherwise hold every call it ever made. lines(), count() and contains() read
// what is kept; dropped() says how many older lines went.
class CallLog {
public:
    static constexpr size_t kDefaultCapacity = size_t(1) << 16;

    explicit CallLog(Ledger* faults = nullptr, size_t capacity = kDefaultCapacity);
    void add(std::string line);
    std::vector<std::string> lines() const;       // oldest first
    size_t count(std::string_view prefix) const;  // lines starting with prefix
    bool contains(std::string_view needle) const;
    // Forgets the lines kept and the count of those dropped.
    void clear();

    size_t capacity() const;
    // Keeps at most this many lines from now on (at least one); drops the oldest beyond it.
    void setCapacity(size_t lines);
    size_t dropped() const;

private:
    // Caller holds mutex_. The kept lines, oldest first, by their position in the ring.
    template <typename Visit>
    void forEachKept(Visit&& visit) const;

    Ledger* faults_;
    mutable std::mutex mutex_;
    size_t capacity_;
    // ring_[(first_ + i) % capacity_] is the i-th oldest line kept; ring_ grows to capacity_.
    std::vector<std::string> ring_;
    size_t first_ = 0;
    size_t dropped_ = 0;
};

// Calls made per pixel: counted without the plan's lock, so that sampling on the worker
// threads does not queue on it.
enum class HotCall {
    NnSample,
    SubpixelSample,
    AreaSample,
    NnSample16,
    SubpixelSample16,
    AreaSample16,
    NnSampleFloat,
    SubpixelSampleFloat,
    AreaSampleFloat,
    Count
};

// Planned failures: suites that are not offered, and the Nth call of a named host function
// failing with a given error. Only the functions the host's areas registered can be planned.
class FaultPlan {
public:
    // Each area of the host names the functions it lets fail when it installs them.
    void registerNames(std::initializer_list<std::string_view> names);
    bool known(std::string_view function) const;
    std::vector<std::string> names() const;
    static bool isHot(std::string_view function) { return hotIndex(function) >= 0; }

    void makeSuiteMissing(const std::string& name, int version);
    bool suiteMissing(std::string_view name, int version) const;
    // The nth call (1-based, counted from now) of the named function fails with err. Throws
    // std::invalid_argument for a name no area registered, or an nth below 1.
    void failCall(const std::string& function, int nth, PF_Err err);
    // Counts a call of the function and answers the error planned for it (0 when none).
    PF_Err onCall(std::string_view function);
    // The same for a per-pixel function; takes no lock unless a failure is planned for it.
    PF_Err onCall(HotCall function);
    int calls(std::string_view function) const;
    // Planned failures whose call never came (cleared ones included), as "function #n".
    std::vector<std::string> unfired() const;
    // Calls counted under names no area registered.
    std::vector<std::string> unregisteredCalls() const;
    // Forgets the plan, the counts and the trace; the unfired failures stay on record.
    void clear();

    // With tracing on, every call of an ordinary function is recorded with its ordinal; the
    // per-pixel functions are only counted (calls()).
    struct TracedCall {
        std::string function;
        int ordinal;
    };
    void setTracing(bool on);
    std::vector<TracedCall> trace() const;

    static std::string_view nameOf(HotCall function);

private:
    struct Planned {
        int callNumber;
        PF_Err err;
    };
    static constexpr int kHotCount = static_cast<int>(HotCall::Count);
    static constexpr int kShards = 32;
    // Calls made while nothing was planned for the function, counted per thread on a cache line
    // of the thread's own (threads beyond kShards share).
    struct alignas(64) Shard {
        std::atomic<int> calls[kHotCount] = {};
    };
    static int hotIndex(std::string_view function);
    static int shardOfThisThread();
    // The error planned for call number callNumber of the function, taken out of the plan.
    PF_Err takePlanned(std::string_view function, int callNumber);

    mutable std::mutex mutex_;
    std::set<std::string, std::less<>> names_;
    std::set<std::string, std::less<>> unregistered_;
    std::vector<std::string> cleared_;
    bool tracing_ = false;
    std::vector<TracedCall> trace_;
    std::vector<std::pair<std::string, int>> missing_;
    std::map<std::string, int, std::less<>> counts_;
    std::multimap<std::string, Planned, std::less<>> planned_;
    Shard shards_[kShards];
    // Per-pixel functions: failures planned and not yet met, and the calls counted under the
    // lock while some were (the plan counts its call numbers among these).
    std::atomic<int> hotPlanned_[kHotCount] = {};
    int hotChecked_[kHotCount] = {};
};

// A host memory handle is the address of `data`, so dereferencing it gives the block, as on the
// real host.
struct HandleBlock {
    char* data = nullptr;
    uint64_t size = 0;
    int locks = 0;
    HandleBlock() = default;
    HandleBlock(const HandleBlock&) = delete;
    HandleBlock& operator=(const HandleBlock&) = delete;
    ~HandleBlock() { std::free(data); }
};

class Host {
public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    static Host& current();
    static Host* currentOrNull();

    Ledger& ledger() { return ledger_; }
    CallLog& log() { return log_; }
    FaultPlan& faults() { return faults_; }
    // Worker threads, thread count, abort and progress.
    Iteration& iteration() { return *iteration_; }
    // Pixel buffers of every world the host knows (worlds.h).
    WorldStore& worlds() { return *worlds_; }

    // Suite registry behind the basic suite.
    void addSuite(const std::string& name, int version, const void* table);
    const void* findSuite(std::string_view name, int version) const;
    SPBasicSuite* basicSuite() { return &basic_; }
    PF_UtilCallbacks* utilCallbacks() { return &utils_; }
    // An input record with every callback and the basic suite set, the time at 0 of 1/30 s,
    // downsampling 1/1; effect is the instance it speaks for (may be null).
    void fillInData(PF_InData& in_data, PF_EffectInstance* effect);
    // Areas of the host that put callbacks into the input record (parameters, worlds, ...) add
    // an installer; fillInData runs them all.
    void addInDataInstaller(std::function<void(PF_InData&)> installer);

    // Host memory handles, as the handle callbacks and the handle suite give them out.
    PF_Handle newHandle(uint64_t size);
    void* lockHandle(PF_Handle handle);
    void unlockHandle(PF_Handle handle);
    void disposeHandle(PF_Handle handle);
    uint64_t handleSize(PF_Handle handle);
    PF_Err resizeHandle(uint64_t size, PF_Handle* handle);
    bool isLiveHandle(PF_Handle handle) const;

    // Plug-in ids handed out by the register-with-host call.
    AEGP_PluginID registerPlugin(const std::string& name);
    // The id handed out last, 0 before the first.
    AEGP_PluginID lastPluginId() const { return nextPluginId_.load() - 1; }

    // Compositions, layers, effects and streams behind the project suites.
    Project& project() { return *project_; }

    // The time of an event as its record carries it (`when`): milliseconds since the host
    // started, each one later than the last, even for events sent within one millisecond.
    uint32_t eventTime();

private:
    // Caller holds handleMutex_.
    HandleBlock* findHandle(PF_Handle handle) const;

    Ledger ledger_;
    CallLog log_{&ledger_};
    FaultPlan faults_;
    SPBasicSuite basic_{};
    PF_UtilCallbacks utils_{};
    std::map<std::pair<std::string, int>, const void*> suites_;
    std::vector<std::function<void(PF_InData&)>> inDataInstallers_;
    mutable std::mutex handleMutex_;
    std::map<PF_Handle, std::unique_ptr<HandleBlock>> handles_;
    std::vector<std::unique_ptr<HandleBlock>> disposedHandles_;
    std::atomic<AEGP_PluginID> nextPluginId_{1};
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::atomic<uint32_t> lastEventTime_{0};
    std::unique_ptr<Project> project_;
    std::unique_ptr<Iteration> iteration_;
    std::unique_ptr<WorldStore> worlds_;
};

// Each area of the host registers its suites and callbacks with a function of this shape.
void installHandleSuites(Host& host);
void installAnsiCallbacks(Host& host, PF_ANSICallbacks& ansi);
void installUtilitySuites(Host& host);
void installProjectSuites(Host& host);
void installParamCallbacks(Host& host);
void installIterateSuites(Host& host);
void installSamplingSuites(Host& host);
// World suites 1 and 2 and the copy, fill and transfer-rectangle callbacks.
void installWorldSuites(Host& host);
void installDrawingSuites(Host& host);
void installScriptSuite(Host& host);

// What a frame renders at, while the frame driver runs one (PluginInstance::renderFrame): layer
// check-outs deliver pixels at this depth and resolution.
struct FrameState {
    bool active = false;
    PF_PixelFormat format = PF_PixelFormat_ARGB32;
    PF_RationalScale downsampleX{1, 1};
    PF_RationalScale downsampleY{1, 1};
};

// One layer check-out of a pre-render: what was asked and what the host answered. The pixels
// are made at the first render check-out of the id.
struct LayerCheckout {
    int32_t index = 0;
    PF_RenderRequest request{};
    PF_CheckoutResult result{};
    bool pixelsMade = false;
    PF_LayerDef* pixels = nullptr;
};

}  // namespace Sim

// The host's side of an effect instance. Areas of the host add what they keep per instance.
struct PF_EffectInstance {
    Sim::Host* host = nullptr;
    AEGP_PluginID pluginId = 0;
    // Parameters as registered at parameter set-up, in order (group entries included).
    std::vector<PF_ParamDef> registered;
    // Current values by parameter index (index 0 is the input layer), as check-out returns them.
    // Once the instance is in the project (projectEffect), the values of the parameters that
    // have a stream there live in the stream; the rest of each record still comes from here.
    std::vector<PF_ParamDef> values;
    // The effect in the project this instance runs for (Project::link), when there is one.
    Sim::ProjectEffect* projectEffect = nullptr;
    // Parameters checked out and not yet checked in: the effect's record and the index.
    std::vector<std::pair<const PF_ParamDef*, int32_t>> checkouts;
    // Arbitrary-data parameters by index: what makes, copies and disposes their values (the
    // effect's own callback), kept by whoever drives the instance. Not owned.
    std::map<int32_t, Sim::ArbitraryParam*> arbitrary;
    // Arbitrary values copied for a check-out, disposed at its check-in.
    std::map<const PF_ParamDef*, PF_Handle> arbitraryCheckouts;
    // Smart render: the layer the effect is applied to (at full resolution) and the output buffer,
    // both worlds the host keeps (WorldStore); and the layer check-outs of pre-render by checkout id.
    PF_LayerDef* inputLayer = nullptr;
    PF_LayerDef* outputWorld = nullptr;
    std::map<int32_t, Sim::LayerCheckout> layerCheckouts;
    // A text or shape layer's content, in full-resolution layer pixels: check-out results never
    // reach beyond it.
    bool hasContentBounds = false;
    PF_LRect contentBounds{};
    Sim::FrameState frame;
    // Host worlds made for the current frame (layers at its depth and resolution), dropped when
    // it ends.
    std::vector<PF_LayerDef*> frameWorlds;
    // Layer parameters as delivered in the current frame, by parameter index.
    std::map<int32_t, PF_LayerDef*> frameLayerParams;
    // What the effect asked for with register_ui, once it has.
    bool customUIRegistered = false;
    PF_CustomUIInfo customUI{};
};
