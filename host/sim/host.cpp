#include "host/sim/host.h"

#include "host/sim/iterate.h"
#include "host/sim/project.h"
#include "host/sim/worlds.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace Sim {

// ---------------------------------------------------------------- Ledger

void Ledger::acquire(std::string_view kind, const std::string& key, const std::string& what) {
    std::lock_guard lock(mutex_);
    Entry& entry = entries_[{std::string(kind), key}];
    ++entry.count;
    if (!what.empty()) entry.what = what;
}

bool Ledger::release(std::string_view kind, const std::string& key) {
    std::lock_guard lock(mutex_);
    auto found = entries_.find({std::string(kind), key});
    if (found == entries_.end()) {
        badReleases_.push_back(std::string(kind) + " " + key + " released but not held");
        faults_.push_back(badReleases_.back());
        return false;
    }
    if (--found->second.count == 0) entries_.erase(found);
    return true;
}

size_t Ledger::releaseAll(std::string_view kind, std::string_view prefix) {
    std::lock_guard lock(mutex_);
    size_t released = 0;
    for (auto it = entries_.begin(); it != entries_.end();) {
        const auto& [entryKind, key] = it->first;
        if (entryKind == kind && std::string_view(key).substr(0, prefix.size()) == prefix) {
            released += static_cast<size_t>(it->second.count);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
    return released;
}

void Ledger::fault(std::string what) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(what));
}

std::vector<std::string> Ledger::faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

bool Ledger::holds(std::string_view kind, const std::string& key) const {
    std::lock_guard lock(mutex_);
    return entries_.count({std::string(kind), key}) != 0;
}

size_t Ledger::outstanding() const {
    std::lock_guard lock(mutex_);
    size_t total = 0;
    for (const auto& [key, entry] : entries_) total += static_cast<size_t>(entry.count);
    return total;
}

size_t Ledger::outstanding(std::string_view kind) const {
    std::lock_guard lock(mutex_);
    size_t total = 0;
    for (const auto& [key, entry] : entries_) {
        if (key.first == kind) total += static_cast<size_t>(entry.count);
    }
    return total;
}

std::map<std::string, size_t> Ledger::heldByKind() const {
    std::lock_guard lock(mutex_);
    std::map<std::string, size_t> held;
    for (const auto& [key, entry] : entries_) held[key.first] += static_cast<size_t>(entry.count);
    return held;
}

size_t Ledger::badReleases() const {
    std::lock_guard lock(mutex_);
    return badReleases_.size();
}

std::string Ledger::report() const {
    std::lock_guard lock(mutex_);
    std::ostringstream out;
    for (const auto& [key, entry] : entries_) {
        out << "held " << entry.count << "x " << key.first << " " << key.second;
        if (!entry.what.empty()) out << " (" << entry.what << ")";
        out << "\n";
    }
    for (const auto& fault : faults_) out << "fault: " << fault << "\n";
    return out.str();
}

void Ledger::reset() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    badReleases_.clear();
    faults_.clear();
}

std::string Ledger::keyOf(const void* pointer) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

// ---------------------------------------------------------------- CallLog

CallLog::CallLog(Ledger* faults, size_t capacity) : faults_(faults), capacity_(std::max<size_t>(capacity, 1)) {}

void CallLog::add(std::string line) {
    const std::string_view text(line);
    if (faults_ != nullptr && (text.substr(0, 6) == "error:" || text.substr(0, 8) == "problem:")) faults_->fault(line);
    std::lock_guard lock(mutex_);
    if (ring_.size() < capacity_) {
        ring_.push_back(std::move(line));
        return;
    }
    ring_[first_] = std::move(line);
    first_ = (first_ + 1) % capacity_;
    ++dropped_;
}

template <typename Visit>
void CallLog::forEachKept(Visit&& visit) const {
    for (size_t i = 0; i < ring_.size(); ++i) visit(ring_[(first_ + i) % ring_.size()]);
}

std::vector<std::string> CallLog::lines() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> kept;
    kept.reserve(ring_.size());
    forEachKept([&](const std::string& line) { kept.push_back(line); });
    return kept;
}

size_t CallLog::count(std::string_view prefix) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    forEachKept([&](const std::string& line) { n += std::string_view(line).substr(0, prefix.size()) == prefix; });
    return n;
}

bool CallLog::contains(std::string_view needle) const {
    std::lock_guard lock(mutex_);
    bool found = false;
    forEachKept([&](const std::string& line) { found = found || line.find(needle) != std::string::npos; });
    return found;
}

void CallLog::clear() {
    std::lock_guard lock(mutex_);
    ring_.clear();
    first_ = 0;
    dropped_ = 0;
}

size_t CallLog::capacity() const {
    std::lock_guard lock(mutex_);
    return capacity_;
}

void CallLog::setCapacity(size_t lines) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> kept;
    kept.reserve(ring_.size());
    for (size_t i = 0; i < ring_.size(); ++i) kept.push_back(std::move(ring_[(first_ + i) % ring_.size()]));
    capacity_ = std::max<size_t>(lines, 1);
    const size_t excess = kept.size() > capacity_ ? kept.size() - capacity_ : 0;
    dropped_ += excess;
    ring_.assign(std::make_move_iterator(kept.begin() + static_cast<std::ptrdiff_t>(excess)),
                 std::make_move_iterator(kept.end()));
    first_ = 0;
}

size_t CallLog::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

// ---------------------------------------------------------------- FaultPlan

void FaultPlan::registerNames(std::initializer_list<std::string_view> names) {
    std::lock_guard lock(mutex_);
    for (std::string_view name : names) names_.emplace(name);
}

bool FaultPlan::known(std::string_view function) const {
    std::lock_guard lock(mutex_);
    return names_.count(function) != 0;
}

std::vector<std::string> FaultPlan::names() const {
    std::lock_guard lock(mutex_);
    return {names_.begin(), names_.end()};
}

void FaultPlan::makeSuiteMissing(const std::string& name, int version) {
    std::lock_guard lock(mutex_);
    missing_.emplace_back(name, version);
}

bool FaultPlan::suiteMissing(std::string_view name, int version) const {
    std::lock_guard lock(mutex_);
    for (const auto& [missingName, missingVersion] : missing_) {
        if (missingName == name && missingVersion == version) return true;
    }
    return false;
}

namespace {

constexpr std::string_view kHotNames[] = {
    "nn_sample",     "subpixel_sample", "area_sample",           "nn_sample16",       "subpixel_sample16",
    "area_sample16", "nn_sample_float", "subpixel_sample_float", "area_sample_float",
};
static_assert(std::size(kHotNames) == static_cast<size_t>(HotCall::Count));

}  // namespace

std::string_view FaultPlan::nameOf(HotCall function) { return kHotNames[static_cast<int>(function)]; }

int FaultPlan::hotIndex(std::string_view function) {
    for (size_t i = 0; i < std::size(kHotNames); ++i) {
        if (kHotNames[i] == function) return static_cast<int>(i);
    }
    return -1;
}

int FaultPlan::shardOfThisThread() {
    static std::atomic<unsigned> nextShard{0};
    thread_local const int shard = static_cast<int>(nextShard.fetch_add(1) % kShards);
    return shard;
}

void FaultPlan::failCall(const std::string& function, int nth, PF_Err err) {
    std::lock_guard lock(mutex_);
    if (names_.count(function) == 0) throw std::invalid_argument("no host function is called " + function);
    if (nth < 1) throw std::invalid_argument("calls are counted from 1");
    const int hot = hotIndex(function);
    if (hot >= 0) {
        // Counted among the calls that look at the plan, which every call does from now on.
        planned_.emplace(function, Planned{hotChecked_[hot] + nth, err});
        hotPlanned_[hot].fetch_add(1);
        return;
    }
    auto counted = counts_.find(function);
    const int already = counted == counts_.end() ? 0 : counted->second;
    planned_.emplace(function, Planned{already + nth, err});
}

PF_Err FaultPlan::takePlanned(std::string_view function, int callNumber) {
    auto [first, last] = planned_.equal_range(function);
    for (auto it = first; it != last; ++it) {
        if (it->second.callNumber == callNumber) {
            const PF_Err err = it->second.err;
            planned_.erase(it);
            const int hot = hotIndex(function);
            if (hot >= 0) hotPlanned_[hot].fetch_sub(1);
            return err;
        }
    }
    return PF_Err_NONE;
}

PF_Err FaultPlan::onCall(HotCall function) {
    const int hot = static_cast<int>(function);
    if (hotPlanned_[hot].load() == 0) {
        shards_[shardOfThisThread()].calls[hot].fetch_add(1, std::memory_order_relaxed);
        return PF_Err_NONE;
    }
    std::lock_guard lock(mutex_);
    return takePlanned(nameOf(function), ++hotChecked_[hot]);
}

PF_Err FaultPlan::onCall(std::string_view function) {
    const int hot = hotIndex(function);
    if (hot >= 0) return onCall(static_cast<HotCall>(hot));
    std::lock_guard lock(mutex_);
    auto counted = counts_.find(function);
    if (counted == counts_.end()) {
        counted = counts_.emplace(std::string(function), 0).first;
        if (names_.count(function) == 0) unregistered_.emplace(function);
    }
    const int ordinal = ++counted->second;
    if (tracing_) trace_.push_back({std::string(function), ordinal});
    return takePlanned(function, ordinal);
}

namespace {

std::string plannedText(const std::string& function, int callNumber) {
    return function + " #" + std::to_string(callNumber);
}

}  // namespace

std::vector<std::string> FaultPlan::unfired() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result = cleared_;
    for (const auto& [function, planned] : planned_) result.push_back(plannedText(function, planned.callNumber));
    return result;
}

std::vector<std::string> FaultPlan::unregisteredCalls() const {
    std::lock_guard lock(mutex_);
    return {unregistered_.begin(), unregistered_.end()};
}

void FaultPlan::setTracing(bool on) {
    std::lock_guard lock(mutex_);
    tracing_ = on;
}

std::vector<FaultPlan::TracedCall> FaultPlan::trace() const {
    std::lock_guard lock(mutex_);
    return trace_;
}

int FaultPlan::calls(std::string_view function) const {
    std::lock_guard lock(mutex_);
    const int hot = hotIndex(function);
    if (hot >= 0) {
        int total = hotChecked_[hot];
        for (const Shard& shard : shards_) total += shard.calls[hot].load(std::memory_order_relaxed);
        return total;
    }
    auto counted = counts_.find(function);
    return counted == counts_.end() ? 0 : counted->second;
}

void FaultPlan::clear() {
    std::lock_guard lock(mutex_);
    for (const auto& [function, planned] : planned_) cleared_.push_back(plannedText(function, planned.callNumber));
    trace_.clear();
    missing_.clear();
    counts_.clear();
    planned_.clear();
    for (Shard& shard : shards_) {
        for (auto& calls : shard.calls) calls.store(0);
    }
    for (int hot = 0; hot < kHotCount; ++hot) {
        hotPlanned_[hot].store(0);
        hotChecked_[hot] = 0;
    }
}

// ---------------------------------------------------------------- basic suite

namespace {

std::atomic<Host*> currentHost{nullptr};

std::string suiteKey(const char* name, int32_t version) { return std::string(name) + " v" + std::to_string(version); }

SPErr acquireSuite(const char* name, int32_t version, const void** suite) {
    Host& host = Host::current();
    if (suite == nullptr || name == nullptr) {
        host.log().add("AcquireSuite: null argument");
        return kSPSuiteNotFoundError;
    }
    *suite = nullptr;
    host.log().add("AcquireSuite " + suiteKey(name, version));
    if (host.faults().onCall("AcquireSuite") != PF_Err_NONE || host.faults().suiteMissing(name, version)) {
        return kSPSuiteNotFoundError;
    }
    const void* table = host.findSuite(name, version);
    if (table == nullptr) return kSPSuiteNotFoundError;
    *suite = table;
    host.ledger().acquire("suite", suiteKey(name, version));
    return kSPNoError;
}

SPErr releaseSuite(const char* name, int32_t version) {
    Host& host = Host::current();
    if (name == nullptr) return kSPSuiteNotFoundError;
    host.log().add("ReleaseSuite " + suiteKey(name, version));
    if (!host.ledger().release("suite", suiteKey(name, version))) return kSPSuiteNotFoundError;
    return host.faults().onCall("ReleaseSuite");
}

SPBoolean isEqual(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

SPErr allocateBlock(size_t size, void** block) {
    if (block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *block = std::malloc(size == 0 ? 1 : size);
    if (*block == nullptr) return PF_Err_OUT_OF_MEMORY;
    Host::current().ledger().acquire("block", Ledger::keyOf(*block));
    return kSPNoError;
}

SPErr freeBlock(void* block) {
    if (block == nullptr) return kSPNoError;
    if (!Host::current().ledger().release("block", Ledger::keyOf(block))) return PF_Err_BAD_CALLBACK_PARAM;
    std::free(block);
    return kSPNoError;
}

SPErr reallocateBlock(void*, size_t, void**) { return PF_Err_BAD_CALLBACK_PARAM; }

SPErr undefinedCall() { return PF_Err_BAD_CALLBACK_PARAM; }

}  // namespace

// ---------------------------------------------------------------- Host

Host::Host() {
    Host* expected = nullptr;
    if (!currentHost.compare_exchange_strong(expected, this)) {
        throw std::logic_error("only one simulated host may exist at a time");
    }
    basic_.AcquireSuite = acquireSuite;
    basic_.ReleaseSuite = releaseSuite;
    basic_.IsEqual = isEqual;
    basic_.AllocateBlock = allocateBlock;
    basic_.FreeBlock = freeBlock;
    basic_.ReallocateBlock = reallocateBlock;
    basic_.Undefined = undefinedCall;
    faults_.registerNames({"AcquireSuite", "ReleaseSuite"});
    installHandleSuites(*this);
    installAnsiCallbacks(*this, utils_.ansi);
    installUtilitySuites(*this);
    installParamCallbacks(*this);
    iteration_ = std::make_unique<Iteration>();
    installIterateSuites(*this);
    installSamplingSuites(*this);
    worlds_ = std::make_unique<WorldStore>(*this);
    installWorldSuites(*this);
    project_ = std::make_unique<Project>(*this);
    installProjectSuites(*this);
    installDrawingSuites(*this);
    installScriptSuite(*this);
}

Host::~Host() {
    iteration_.reset();  // joins the workers while the host is still current
    project_.reset();
    {
        std::lock_guard lock(handleMutex_);
        handles_.clear();
        disposedHandles_.clear();
    }
    currentHost.store(nullptr);
}

Host& Host::current() {
    Host* host = currentHost.load();
    if (host == nullptr) {
        std::fputs("simulated host: a callback was called with no host alive\n", stderr);
        std::abort();
    }
    return *host;
}

Host* Host::currentOrNull() { return currentHost.load(); }

void Host::addSuite(const std::string& name, int version, const void* table) { suites_[{name, version}] = table; }

const void* Host::findSuite(std::string_view name, int version) const {
    auto found = suites_.find({std::string(name), version});
    return found == suites_.end() ? nullptr : found->second;
}

void Host::fillInData(PF_InData& in_data, PF_EffectInstance* effect) {
    in_data = PF_InData{};
    in_data.utils = &utils_;
    in_data.effect_ref = effect;
    in_data.pica_basicP = &basic_;
    in_data.quality = PF_Quality_HI;
    in_data.version_major = 13;
    in_data.version_minor = 28;
    in_data.current_time = 0;
    in_data.time_step = 1;
    in_data.local_time_step = 1;
    in_data.total_time = 300;
    in_data.time_scale = 30;
    in_data.downsample_x = {1, 1};
    in_data.downsample_y = {1, 1};
    in_data.pixel_aspect_ratio = {1, 1};
    for (const auto& install : inDataInstallers_) install(in_data);
}

void Host::addInDataInstaller(std::function<void(PF_InData&)> installer) {
    inDataInstallers_.push_back(std::move(installer));
}

uint32_t Host::eventTime() {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_);
    // Wraps after 49 days, as a 32-bit clock of the host does.
    const auto now = static_cast<uint32_t>(elapsed.count());
    uint32_t last = lastEventTime_.load();
    uint32_t next = 0;
    do {
        next = now - last < (uint32_t(1) << 31) && now != last ? now : last + 1;
    } while (!lastEventTime_.compare_exchange_weak(last, next));
    return next;
}

AEGP_PluginID Host::registerPlugin(const std::string& name) {
    log_.add("registered plug-in " + name);
    return nextPluginId_++;
}

}  // namespace Sim
