#include "host/sim/project.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "host/sim/arbitrary_param.h"

namespace Sim {

namespace {

double seconds(const A_Time& time) { return static_cast<double>(time.value) / static_cast<double>(time.scale); }

bool interpolates(AEGP_StreamType type) {
    return type == AEGP_StreamType_OneD || type == AEGP_StreamType_TwoD || type == AEGP_StreamType_ThreeD ||
           type == AEGP_StreamType_COLOR;
}

std::string refKey(uintptr_t token) { return Ledger::keyOf(reinterpret_cast<const void*>(token)); }

}  // namespace

// ---------------------------------------------------------------- streams

StreamData ProjectStream::valueAt(double layerSeconds) const {
    if (keys.empty()) return value;
    if (layerSeconds <= seconds(keys.front().time)) return keys.front().value;
    if (layerSeconds >= seconds(keys.back().time)) return keys.back().value;
    size_t right = 1;
    while (seconds(keys[right].time) < layerSeconds) ++right;
    const Keyframe& a = keys[right - 1];
    const Keyframe& b = keys[right];
    if (!interpolates(type)) return a.value;
    const double t0 = seconds(a.time);
    const double t1 = seconds(b.time);
    const double f = t1 - t0 < kSameTime ? 0.0 : (layerSeconds - t0) / (t1 - t0);
    StreamData mixed = a.value;
    for (int i = 0; i < 4; ++i) mixed.v[i] = a.value.v[i] + (b.value.v[i] - a.value.v[i]) * f;
    return mixed;
}

int ProjectStream::indexInParent() const {
    if (parent == nullptr) return -1;
    auto found = std::find(parent->children.begin(), parent->children.end(), this);
    return static_cast<int>(found - parent->children.begin());
}

// ---------------------------------------------------------------- building

Project::Project(Host& host) : host_(host) {}

Project::~Project() = default;

ProjectStream& Project::newStream(ProjectStream* parent, const std::u16string& name, AEGP_StreamType type,
                                  ProjectLayer* layer) {
    streams_.push_back(std::make_unique<ProjectStream>());
    ProjectStream& stream = *streams_.back();
    stream.name = name;
    stream.type = type;
    stream.layer = layer;
    stream.parent = parent;
    if (parent != nullptr) parent->children.push_back(&stream);
    return stream;
}

ProjectComp& Project::addComp(const std::string& name) {
    std::lock_guard lock(mutex_);
    comps_.push_back(std::make_unique<ProjectComp>());
    comps_.back()->name = name;
    return *comps_.back();
}

ProjectLayer& Project::addLayer(ProjectComp& comp, const std::u16string& name, AEGP_ObjectType type) {
    std::lock_guard lock(mutex_);
    layers_.push_back(std::make_unique<ProjectLayer>());
    ProjectLayer& layer = *layers_.back();
    layer.id = nextLayerId_++;
    layer.objectType = type;
    layer.comp = &comp;
    comp.layers.push_back(&layer);
    layer.root = &newStream(nullptr, name, AEGP_StreamType_NO_DATA, &layer);
    static const struct {
        const char16_t* name;
        AEGP_StreamType type;
        double initial[3];
    } kTransform[AEGP_LayerStream_COUNT] = {
        {u"Anchor Point", AEGP_StreamType_ThreeD, {0, 0, 0}}, {u"Position", AEGP_StreamType_ThreeD, {0, 0, 0}},
        {u"Scale", AEGP_StreamType_ThreeD, {100, 100, 100}},  {u"Rotation", AEGP_StreamType_OneD, {0, 0, 0}},
        {u"Opacity", AEGP_StreamType_OneD, {100, 0, 0}},
    };
    for (int which = 0; which < AEGP_LayerStream_COUNT; ++which) {
        ProjectStream& stream = newStream(layer.root, kTransform[which].name, kTransform[which].type, &layer);
        for (int i = 0; i < 3; ++i) stream.value.v[i] = kTransform[which].initial[i];
        layer.transform[which] = &stream;
    }
    layer.masksGroup = &newStream(layer.root, u"Masks", AEGP_StreamType_NO_DATA, &layer);
    layer.effectsGroup = &newStream(layer.root, u"Effects", AEGP_StreamType_NO_DATA, &layer);
    return layer;
}

AEGP_InstalledEffectKey Project::installEffect(const std::u16string& name, std::vector<ParamSpec> params) {
    std::lock_guard lock(mutex_);
    installed_.push_back(std::make_unique<InstalledEffect>());
    InstalledEffect& effect = *installed_.back();
    effect.key = nextKey_++;
    effect.name = name;
    effect.params = std::move(params);
    return effect.key;
}

ProjectEffect* Project::addEffect(ProjectLayer& layer, AEGP_InstalledEffectKey key) {
    std::lock_guard lock(mutex_);
    auto installed = std::find_if(installed_.begin(), installed_.end(),
                                  [key](const auto& candidate) { return candidate->key == key; });
    if (installed == installed_.end()) return nullptr;
    effects_.push_back(std::make_unique<ProjectEffect>());
    ProjectEffect& effect = *effects_.back();
    effect.installed = installed->get();
    effect.layer = &layer;
    effect.group = &newStream(layer.effectsGroup, effect.installed->name, AEGP_StreamType_NO_DATA, &layer);
    effect.group->renamable = true;
    for (const ParamSpec& spec : effect.installed->params) {
        ProjectStream& param = newStream(effect.group, spec.name, spec.type, &layer);
        param.value = spec.initial;
        effect.params.push_back(&param);
    }
    layer.effects.push_back(&effect);
    return &effect;
}

ProjectMask& Project::addMask(ProjectLayer& layer, const std::u16string& name) {
    std::lock_guard lock(mutex_);
    masks_.push_back(std::make_unique<ProjectMask>());
    ProjectMask& mask = *masks_.back();
    mask.id = static_cast<AEGP_MaskIDVal>(masks_.size());
    mask.layer = &layer;
    mask.group = &newStream(layer.masksGroup, name, AEGP_StreamType_NO_DATA, &layer);
    mask.group->renamable = true;
    static const struct {
        const char16_t* name;
        AEGP_StreamType type;
        double initial[2];
    } kMaskStreams[AEGP_MaskStream_COUNT] = {
        {u"Mask Opacity", AEGP_StreamType_OneD, {100, 0}},
        {u"Mask Feather", AEGP_StreamType_TwoD, {0, 0}},
        {u"Mask Expansion", AEGP_StreamType_OneD, {0, 0}},
    };
    for (int which = 0; which < AEGP_MaskStream_COUNT; ++which) {
        ProjectStream& stream = newStream(mask.group, kMaskStreams[which].name, kMaskStreams[which].type, &layer);
        for (int i = 0; i < 2; ++i) stream.value.v[i] = kMaskStreams[which].initial[i];
        mask.streams[which] = &stream;
    }
    layer.masks.push_back(&mask);
    return mask;
}

void Project::link(ProjectEffect& effect, PF_EffectInstance& instance) {
    std::lock_guard lock(mutex_);
    if (effect.instance != nullptr) instances_.erase(effect.instance);
    effect.instance = &instance;
    instance.projectEffect = &effect;
    instances_[&instance] = &effect;
}

namespace {

double fixedToDouble(PF_Fixed value) { return static_cast<double>(value) / 65536.0; }

ParamSpec specOf(Host& host, const PF_ParamDef& def) {
    ParamSpec spec;
    for (size_t i = 0; i < sizeof def.name && def.name[i] != '\0'; ++i) {
        spec.name.push_back(static_cast<char16_t>(static_cast<unsigned char>(def.name[i])));
    }
    StreamData& v = spec.initial;
    const PF_ParamDefUnion& u = def.u;
    spec.type = AEGP_StreamType_OneD;
    switch (def.param_type) {
        case PF_Param_SLIDER: v.v[0] = u.sd.value; break;
        case PF_Param_FIX_SLIDER: v.v[0] = fixedToDouble(u.fd.value); break;
        case PF_Param_FLOAT_SLIDER: v.v[0] = u.fs_d.value; break;
        case PF_Param_ANGLE: v.v[0] = fixedToDouble(u.ad.value); break;
        case PF_Param_CHECKBOX: v.v[0] = u.bd.value != 0 ? 1 : 0; break;
        case PF_Param_POPUP: v.v[0] = u.pd.value; break;
        case PF_Param_COLOR:
            spec.type = AEGP_StreamType_COLOR;
            v.v[0] = u.cd.value.alpha / 255.0;
            v.v[1] = u.cd.value.red / 255.0;
            v.v[2] = u.cd.value.green / 255.0;
            v.v[3] = u.cd.value.blue / 255.0;
            break;
        case PF_Param_POINT:
            spec.type = AEGP_StreamType_TwoD;
            v.v[0] = fixedToDouble(u.td.x_value);
            v.v[1] = fixedToDouble(u.td.y_value);
            break;
        case PF_Param_POINT_3D:
            spec.type = AEGP_StreamType_ThreeD;
            v.v[0] = u.point3d_d.x_value;
            v.v[1] = u.point3d_d.y_value;
            v.v[2] = u.point3d_d.z_value;
            break;
        case PF_Param_LAYER: spec.type = AEGP_StreamType_LAYER_ID; break;
        case PF_Param_ARBITRARY_DATA: {
            spec.type = AEGP_StreamType_ARB;
            PF_Handle value = u.arb_d.value != nullptr ? u.arb_d.value : u.arb_d.dephault;
            if (value != nullptr && host.isLiveHandle(value)) v.bytes.assign(*value, *value + host.handleSize(value));
            break;
        }
        default: spec.type = AEGP_StreamType_NO_DATA; break;  // group entries and buttons hold no value
    }
    return spec;
}

// The stream a parameter of this type has; none for groups and buttons.
AEGP_StreamType streamTypeOf(PF_ParamType type) {
    switch (type) {
        case PF_Param_SLIDER:
        case PF_Param_FIX_SLIDER:
        case PF_Param_FLOAT_SLIDER:
        case PF_Param_ANGLE:
        case PF_Param_CHECKBOX:
        case PF_Param_POPUP: return AEGP_StreamType_OneD;
        case PF_Param_COLOR: return AEGP_StreamType_COLOR;
        case PF_Param_POINT: return AEGP_StreamType_TwoD;
        case PF_Param_POINT_3D: return AEGP_StreamType_ThreeD;
        case PF_Param_LAYER: return AEGP_StreamType_LAYER_ID;
        case PF_Param_ARBITRARY_DATA: return AEGP_StreamType_ARB;
        default: return AEGP_StreamType_NO_DATA;
    }
}

int32_t rounded(double value) {
    const double limited = std::clamp(std::round(value), double(INT32_MIN), double(INT32_MAX));
    return static_cast<int32_t>(limited);
}

PF_Fixed toFixed(double value) { return rounded(value * 65536.0); }

uint8_t toChannel8(double unit) { return static_cast<uint8_t>(std::clamp(std::round(unit * 255.0), 0.0, 255.0)); }

// Writes a stream's value into the value fields of a parameter record, the inverse of specOf.
void applyData(const StreamData& data, PF_ParamDef& def) {
    PF_ParamDefUnion& u = def.u;
    const double* v = data.v;
    switch (def.param_type) {
        case PF_Param_SLIDER: u.sd.value = rounded(v[0]); break;
        case PF_Param_FIX_SLIDER: u.fd.value = toFixed(v[0]); break;
        case PF_Param_FLOAT_SLIDER: u.fs_d.value = v[0]; break;
        case PF_Param_ANGLE: u.ad.value = toFixed(v[0]); break;
        // A boolean stream value counts by its whole part.
        case PF_Param_CHECKBOX: u.bd.value = static_cast<int64_t>(v[0]) != 0 ? 1 : 0; break;
        case PF_Param_POPUP: u.pd.value = rounded(v[0]); break;
        case PF_Param_COLOR:
            u.cd.value = PF_Pixel{toChannel8(v[0]), toChannel8(v[1]), toChannel8(v[2]), toChannel8(v[3])};
            break;
        case PF_Param_POINT:
            u.td.x_value = toFixed(v[0]);
            u.td.y_value = toFixed(v[1]);
            break;
        case PF_Param_POINT_3D:
            u.point3d_d.x_value = v[0];
            u.point3d_d.y_value = v[1];
            u.point3d_d.z_value = v[2];
            break;
        default: break;
    }
}

}  // namespace

ProjectEffect& Project::adopt(PF_EffectInstance& instance, const std::u16string& name, AEGP_ObjectType layerType) {
    std::lock_guard lock(mutex_);
    std::vector<ParamSpec> specs;
    for (size_t i = 0; i < instance.registered.size(); ++i) {
        const PF_ParamDef& def = i < instance.values.size() ? instance.values[i] : instance.registered[i];
        ParamSpec spec = specOf(host_, def);
        // The effect's own handle is moved in below instead.
        if (instance.arbitrary.count(int32_t(i)) != 0) spec.initial.bytes.clear();
        specs.push_back(std::move(spec));
    }
    if (specs.empty()) specs.push_back(ParamSpec{u"Input", AEGP_StreamType_LAYER_ID, {}});
    ProjectComp& comp = addComp("Comp " + std::to_string(comps_.size() + 1));
    ProjectLayer& layer = addLayer(comp, u"Layer 1", layerType);
    ProjectEffect& effect = *addEffect(layer, installEffect(name, std::move(specs)));
    // The effect's own values move into the streams, so each lives in one place.
    for (const auto& [index, owner] : instance.arbitrary) {
        if (index < 0 || size_t(index) >= effect.params.size() || size_t(index) >= instance.values.size()) continue;
        ProjectStream& stream = *effect.params[size_t(index)];
        stream.arbitrary = owner;
        stream.value.arb = instance.values[size_t(index)].u.arb_d.value;
        instance.values[size_t(index)].u.arb_d.value = nullptr;
    }
    link(effect, instance);
    return effect;
}

void Project::unlink(PF_EffectInstance& instance) {
    std::lock_guard lock(mutex_);
    auto found = instances_.find(&instance);
    if (found == instances_.end()) return;
    ProjectEffect& effect = *found->second;
    for (ProjectStream* stream : effect.params) {
        ArbitraryParam* owner = stream->arbitrary;
        if (owner == nullptr) continue;
        dropData(*stream, stream->value);
        for (Keyframe& key : stream->keys) dropData(*stream, key.value);
        for (auto& [token, batch] : batches_) {
            if (batch.stream != stream) continue;
            for (PendingKey& pending : batch.keys) dropData(*stream, pending.value);
        }
        // Values the effect still holds are its leak: their ledger entries stay, their data goes.
        auto giveBack = [owner](LiveValue& live) {
            if (live.owner != owner) return;
            owner->dispose(live.arb);
            live.arb = nullptr;
            live.owner = nullptr;
        };
        for (auto& entry : values_) giveBack(entry.second);
        for (LiveValue& live : orphans_) giveBack(live);
        stream->arbitrary = nullptr;
    }
    effect.instance = nullptr;
    instance.projectEffect = nullptr;
    instances_.erase(found);
}

namespace {

// The stream of a linked instance's parameter that holds its value, or null.
ProjectStream* valueStream(PF_EffectInstance& instance, int index) {
    ProjectEffect* effect = instance.projectEffect;
    if (effect == nullptr || index < 0 || size_t(index) >= effect->params.size() ||
        size_t(index) >= instance.values.size()) {
        return nullptr;
    }
    ProjectStream* stream = effect->params[size_t(index)];
    const AEGP_StreamType type = streamTypeOf(instance.values[size_t(index)].param_type);
    // Layers are chosen by world, not by stream; arbitrary data only through the effect's callback.
    if (type != stream->type || type == AEGP_StreamType_NO_DATA || type == AEGP_StreamType_LAYER_ID) return nullptr;
    if (type == AEGP_StreamType_ARB && stream->arbitrary == nullptr) return nullptr;
    return stream;
}

}  // namespace

bool Project::paramAt(PF_EffectInstance& instance, int index, double layerSeconds, PF_ParamDef& param, PF_Err& err) {
    std::lock_guard lock(mutex_);
    err = PF_Err_NONE;
    ProjectStream* stream = valueStream(instance, index);
    if (stream == nullptr) return false;
    const StreamData data = stream->valueAt(layerSeconds);
    if (stream->type != AEGP_StreamType_ARB) {
        applyData(data, param);
        return true;
    }
    PF_Handle copy = nullptr;
    if (data.arb == nullptr) {
        err = fail("checkout_param", "the arbitrary parameter has no value", PF_Err_INTERNAL_STRUCT_DAMAGED);
    } else {
        err = stream->arbitrary->duplicate(data.arb, copy);
    }
    param.u.arb_d.value = copy;
    if (err == PF_Err_NONE) instance.arbitraryCheckouts[&param] = copy;
    return true;
}

void Project::setParam(PF_EffectInstance& instance, int index, const PF_ParamDef& value) {
    std::lock_guard lock(mutex_);
    ProjectStream* stream = valueStream(instance, index);
    if (stream != nullptr && stream->type == AEGP_StreamType_ARB) {
        throw std::invalid_argument("arbitrary values are set through the stream suites");
    }
    if (index < 0) throw std::out_of_range("negative parameter index");
    if (size_t(index) >= instance.values.size()) instance.values.resize(size_t(index) + 1);
    instance.values[size_t(index)] = value;
    if (stream == nullptr) return;
    if (!stream->keys.empty()) {
        fail("setParam", "the stream has keyframes");
        return;
    }
    stream->value = specOf(host_, value).initial;
}

bool Project::takeArbitrary(PF_EffectInstance& instance, int index, PF_Handle value) {
    std::lock_guard lock(mutex_);
    ProjectStream* stream = valueStream(instance, index);
    if (stream == nullptr || stream->type != AEGP_StreamType_ARB || !stream->keys.empty()) return false;
    StreamData data;
    data.arb = value;
    keepData(*stream, stream->value, std::move(data));
    return true;
}

void Project::moveEffect(ProjectEffect& effect, size_t index) {
    std::lock_guard lock(mutex_);
    ProjectLayer& layer = *effect.layer;
    auto& stack = layer.effects;
    stack.erase(std::find(stack.begin(), stack.end(), &effect));
    stack.insert(stack.begin() + static_cast<std::ptrdiff_t>(std::min(index, stack.size())), &effect);
    auto& groups = layer.effectsGroup->children;
    groups.clear();
    for (ProjectEffect* each : stack) groups.push_back(each->group);
}

// ---------------------------------------------------------------- look-ups

PF_Err Project::fail(const char* caller, const std::string& what, PF_Err err) {
    host_.log().add(std::string("error: ") + caller + ": " + what);
    return err;
}

ProjectLayer* Project::findLayer(AEGP_LayerH layer, const char* caller) {
    for (const auto& each : layers_) {
        if (handleOf(*each) == layer) return each.get();
    }
    fail(caller, "unknown layer");
    return nullptr;
}

ProjectMask* Project::findMask(AEGP_MaskRefH mask, const char* caller) {
    for (const auto& each : masks_) {
        if (handleOf(*each) == mask) return each.get();
    }
    fail(caller, "unknown mask");
    return nullptr;
}

ProjectEffect* Project::findInstance(PF_ProgPtr effect_ref, const char* caller) {
    auto found = instances_.find(effect_ref);
    if (found != instances_.end()) return found->second;
    fail(caller, "effect instance not in the project");
    return nullptr;
}

uintptr_t Project::nextToken() {
    lastToken_ += 16;
    return lastToken_;
}

// ---------------------------------------------------------------- references

AEGP_EffectRefH Project::newEffectRef(ProjectEffect& effect) {
    const uintptr_t token = nextToken();
    effectRefs_[token] = &effect;
    host_.ledger().acquire("effect reference", refKey(token));
    return reinterpret_cast<AEGP_EffectRefH>(token);
}

ProjectEffect* Project::findEffectRef(AEGP_EffectRefH ref, const char* caller) {
    auto found = effectRefs_.find(reinterpret_cast<uintptr_t>(ref));
    if (found != effectRefs_.end()) return found->second;
    fail(caller, ref == nullptr ? "null effect reference" : "unknown or disposed effect reference");
    return nullptr;
}

bool Project::disposeEffectRef(AEGP_EffectRefH ref) {
    const uintptr_t token = reinterpret_cast<uintptr_t>(ref);
    if (effectRefs_.erase(token) == 0) return false;
    host_.ledger().release("effect reference", refKey(token));
    return true;
}

AEGP_StreamRefH Project::newStreamRef(ProjectStream& stream) {
    const uintptr_t token = nextToken();
    streamRefs_[token] = &stream;
    host_.ledger().acquire("stream reference", refKey(token));
    return reinterpret_cast<AEGP_StreamRefH>(token);
}

ProjectStream* Project::findStreamRef(AEGP_StreamRefH ref, const char* caller) {
    auto found = streamRefs_.find(reinterpret_cast<uintptr_t>(ref));
    if (found != streamRefs_.end()) return found->second;
    fail(caller, ref == nullptr ? "null stream reference" : "unknown or disposed stream reference");
    return nullptr;
}

bool Project::disposeStreamRef(AEGP_StreamRefH ref) {
    const uintptr_t token = reinterpret_cast<uintptr_t>(ref);
    if (streamRefs_.erase(token) == 0) return false;
    host_.ledger().release("stream reference", refKey(token));
    return true;
}

size_t Project::liveStreamRefs() const { return streamRefs_.size(); }

// ---------------------------------------------------------------- stream values

PF_Err Project::newStreamValue(ProjectStream& stream, AEGP_StreamRefH ref, const StreamData& data,
                               AEGP_StreamValue2* value) {
    auto live = values_.find(value);
    if (live != values_.end()) {
        fail("AEGP_GetNewStreamValue", "value record written over before its value was disposed");
        orphans_.push_back(std::move(live->second));
        values_.erase(live);
    }
    AEGP_StreamValue2 made{};
    made.streamH = ref;
    PF_Handle arb = nullptr;
    ArbitraryParam* owner = nullptr;
    switch (stream.type) {
        case AEGP_StreamType_OneD: made.val.one_d = data.v[0]; break;
        case AEGP_StreamType_TwoD: made.val.two_d = {data.v[0], data.v[1]}; break;
        case AEGP_StreamType_ThreeD: made.val.three_d = {data.v[0], data.v[1], data.v[2]}; break;
        case AEGP_StreamType_COLOR: made.val.color = {data.v[0], data.v[1], data.v[2], data.v[3]}; break;
        case AEGP_StreamType_LAYER_ID: made.val.layer_id = data.id; break;
        case AEGP_StreamType_MASK_ID: made.val.mask_id = data.id; break;
        case AEGP_StreamType_ARB:
            if (stream.arbitrary != nullptr) {
                // The effect makes the copy it is handed, as it does for every value of its own.
                if (data.arb == nullptr) return fail("AEGP_GetNewStreamValue", "the stream has no value");
                if (PF_Err err = stream.arbitrary->duplicate(data.arb, arb)) return err;
                owner = stream.arbitrary;
                made.val.arbH = arb;
                break;
            }
            arb = host_.newHandle(data.bytes.size());
            if (arb == nullptr) return fail("AEGP_GetNewStreamValue", "no memory for the value", PF_Err_OUT_OF_MEMORY);
            if (!data.bytes.empty()) std::memcpy(*arb, data.bytes.data(), data.bytes.size());
            made.val.arbH = arb;
            break;
        default: return fail("AEGP_GetNewStreamValue", "the stream has no value");
    }
    *value = made;
    const std::string key = Ledger::keyOf(value) + "#" + std::to_string(nextToken());
    values_[value] = LiveValue{stream.type, arb, key, owner};
    host_.ledger().acquire("stream value", key);
    return PF_Err_NONE;
}

PF_Err Project::readStreamValue(const ProjectStream& stream, const AEGP_StreamValue2& value, StreamData& data,
                                const char* caller) {
    data = StreamData{};
    const AEGP_StreamVal2& val = value.val;
    switch (stream.type) {
        case AEGP_StreamType_OneD: data.v[0] = val.one_d; break;
        case AEGP_StreamType_TwoD:
            data.v[0] = val.two_d.x;
            data.v[1] = val.two_d.y;
            break;
        case AEGP_StreamType_ThreeD:
            data.v[0] = val.three_d.x;
            data.v[1] = val.three_d.y;
            data.v[2] = val.three_d.z;
            break;
        case AEGP_StreamType_COLOR:
            data.v[0] = val.color.alpha;
            data.v[1] = val.color.red;
            data.v[2] = val.color.green;
            data.v[3] = val.color.blue;
            break;
        case AEGP_StreamType_LAYER_ID: data.id = val.layer_id; break;
        case AEGP_StreamType_MASK_ID: data.id = val.mask_id; break;
        case AEGP_StreamType_ARB: {
            if (!host_.isLiveHandle(val.arbH)) {
                return fail(caller, "arbitrary value is not a live handle");
            }
            if (stream.arbitrary != nullptr) {
                // The effect's own failure is its answer, not a refusal of the host's.
                if (PF_Err err = stream.arbitrary->duplicate(val.arbH, data.arb)) {
                    host_.log().add(std::string(caller) + ": the effect could not copy the value (error " +
                                    std::to_string(err) + ")");
                    return err;
                }
                break;
            }
            const uint64_t size = host_.handleSize(val.arbH);
            data.bytes.assign(*val.arbH, *val.arbH + size);
            break;
        }
        default: return fail(caller, "the stream has no value");
    }
    for (double component : data.v) {
        if (!std::isfinite(component)) {
            return fail(caller, "value is not a finite number");
        }
    }
    return PF_Err_NONE;
}

PF_Err Project::disposeStreamValue(AEGP_StreamValue2* value) {
    auto found = values_.find(value);
    if (found == values_.end()) return fail("AEGP_DisposeStreamValue", "unknown or already disposed value record");
    LiveValue live = found->second;
    values_.erase(found);
    host_.ledger().release("stream value", live.ledgerKey);
    // Free what the host gave out, whatever the effect left in the record.
    if (live.arb != nullptr && value->val.arbH != live.arb) {
        fail("AEGP_DisposeStreamValue", "arbitrary handle in the record was replaced");
    }
    disposeLive(live);
    value->val.arbH = nullptr;
    return PF_Err_NONE;
}

void Project::disposeLive(LiveValue& live) {
    if (live.arb == nullptr) return;
    if (live.owner != nullptr) {
        live.owner->dispose(live.arb);
    } else {
        host_.disposeHandle(live.arb);
    }
    live.arb = nullptr;
}

void Project::keepData(ProjectStream& stream, StreamData& slot, StreamData&& data) {
    dropData(stream, slot);
    slot = std::move(data);
}

void Project::dropData(ProjectStream& stream, StreamData& data) {
    if (data.arb != nullptr && stream.arbitrary != nullptr) stream.arbitrary->dispose(data.arb);
    data.arb = nullptr;
}

// ---------------------------------------------------------------- keyframe batches

AEGP_AddKeyframesInfoH Project::newBatch(ProjectStream& stream) {
    const uintptr_t token = nextToken();
    batches_[token].stream = &stream;
    host_.ledger().acquire("keyframe batch", refKey(token));
    return reinterpret_cast<AEGP_AddKeyframesInfoH>(token);
}

Project::Batch* Project::findBatch(AEGP_AddKeyframesInfoH batch, const char* caller) {
    auto found = batches_.find(reinterpret_cast<uintptr_t>(batch));
    if (found != batches_.end()) return &found->second;
    fail(caller, "unknown or closed keyframe batch");
    return nullptr;
}

void Project::endBatch(AEGP_AddKeyframesInfoH batchH, bool commit) {
    auto found = batches_.find(reinterpret_cast<uintptr_t>(batchH));
    if (found == batches_.end()) return;
    Batch batch = std::move(found->second);
    batches_.erase(found);
    host_.ledger().release("keyframe batch", refKey(reinterpret_cast<uintptr_t>(batchH)));
    ProjectStream& stream = *batch.stream;
    if (!commit) {
        for (PendingKey& pending : batch.keys) dropData(stream, pending.value);
        return;
    }
    for (PendingKey& pending : batch.keys) {
        const double at = seconds(pending.time);
        Keyframe key{pending.time, pending.valueSet ? std::move(pending.value) : stream.valueAt(at)};
        if (!pending.valueSet && key.value.arb != nullptr) {
            // The key gets a value of its own rather than sharing its neighbour's.
            PF_Handle copy = nullptr;
            if (stream.arbitrary->duplicate(key.value.arb, copy) != PF_Err_NONE) copy = nullptr;
            key.value.arb = copy;
        }
        auto place = std::find_if(stream.keys.begin(), stream.keys.end(),
                                  [at](const Keyframe& k) { return seconds(k.time) >= at - kSameTime; });
        if (place != stream.keys.end() && std::fabs(seconds(place->time) - at) <= kSameTime) {
            keepData(stream, place->value, std::move(key.value));
            place->time = key.time;
        } else {
            stream.keys.insert(place, std::move(key));
        }
    }
}

// ---------------------------------------------------------------- memory handles

AEGP_MemHandle Project::newMemHandle(const std::string& what, size_t size) {
    const uintptr_t token = nextToken();
    MemBlock& block = memHandles_[token];
    block.bytes.assign(size, 0);
    block.what = what;
    host_.ledger().acquire("memory handle", refKey(token), what);
    return reinterpret_cast<AEGP_MemHandle>(token);
}

Project::MemBlock* Project::findMemHandle(AEGP_MemHandle mem, const char* caller) {
    auto found = memHandles_.find(reinterpret_cast<uintptr_t>(mem));
    if (found != memHandles_.end()) return &found->second;
    fail(caller, mem == nullptr ? "null memory handle" : "unknown or freed memory handle");
    return nullptr;
}

void Project::freeMemHandle(AEGP_MemHandle mem) {
    const uintptr_t token = reinterpret_cast<uintptr_t>(mem);
    auto found = memHandles_.find(token);
    if (found == memHandles_.end()) return;
    if (found->second.locks != 0) {
        // The lock entries stay in the ledger, so the test that did this sees it.
        fail("AEGP_FreeMemHandle", "memory handle freed while locked");
        orphanLocks_.insert(orphanLocks_.end(), static_cast<size_t>(found->second.locks), refKey(token));
    }
    memHandles_.erase(found);
    host_.ledger().release("memory handle", refKey(token));
}

size_t Project::releaseEverything() {
    std::lock_guard lock(mutex_);
    size_t count = 0;
    for (const auto& entry : effectRefs_) host_.ledger().release("effect reference", refKey(entry.first));
    for (const auto& entry : streamRefs_) host_.ledger().release("stream reference", refKey(entry.first));
    for (auto& [token, batch] : batches_) {
        host_.ledger().release("keyframe batch", refKey(token));
        for (PendingKey& pending : batch.keys) dropData(*batch.stream, pending.value);
    }
    count += effectRefs_.size() + streamRefs_.size() + batches_.size();
    for (const auto& [token, block] : memHandles_) {
        host_.ledger().release("memory handle", refKey(token));
        for (int i = 0; i < block.locks; ++i) host_.ledger().release("memory lock", refKey(token));
        ++count;
    }
    for (const auto& entry : values_) orphans_.push_back(entry.second);
    for (LiveValue& live : orphans_) {
        host_.ledger().release("stream value", live.ledgerKey);
        disposeLive(live);
        ++count;
    }
    orphans_.clear();
    for (const std::string& key : orphanLocks_) host_.ledger().release("memory lock", key);
    count += orphanLocks_.size();
    orphanLocks_.clear();
    effectRefs_.clear();
    streamRefs_.clear();
    batches_.clear();
    memHandles_.clear();
    values_.clear();
    return count;
}

// ---------------------------------------------------------------- time

bool Project::layerSeconds(const ProjectLayer* layer, AEGP_LTimeMode mode, const A_Time* time, double& result,
                           const char* caller) {
    if (time == nullptr || time->scale == 0) {
        fail(caller, "missing time or a time scale of 0");
        return false;
    }
    result = seconds(*time);
    if (mode == AEGP_LTimeMode_CompTime) {
        if (layer != nullptr) result -= seconds(layer->start);
    } else if (mode != AEGP_LTimeMode_LayerTime) {
        fail(caller, "unknown time mode");
        return false;
    }
    return true;
}

}  // namespace Sim
