#include "library/world/world.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "Util/AEFX_SuiteHelper.h"
#include "Util/AEGP_SuiteHandler.h"
#include "library/utility/pixel.h"

namespace Morvel {

namespace {

const char kLoadMessage[] = "Couldn't load suite.";
const char kReleaseMessage[] = "Couldn't release suite.";

// Indexed by blending mode + 1.
constexpr int32_t kTransferModes[] = {
    PF_Xfer_NONE,                    // None
    PF_Xfer_IN_FRONT,                // Normal
    PF_Xfer_DISSOLVE,                // Dissolve
    PF_Xfer_ADD,                     // Add
    PF_Xfer_MULTIPLY,                // Multiply
    PF_Xfer_SCREEN,                  // Screen
    PF_Xfer_OVERLAY,                 // Overlay
    PF_Xfer_SOFT_LIGHT,              // SoftLight
    PF_Xfer_HARD_LIGHT,              // HardLight
    PF_Xfer_COLOR_DODGE2,            // ColorDodge
    PF_Xfer_COLOR_BURN2,             // ColorBurn
    PF_Xfer_DARKEN,                  // Darken
    PF_Xfer_LIGHTEN,                 // Lighten
    PF_Xfer_DIFFERENCE2,             // Difference
    PF_Xfer_EXCLUSION,               // Exclusion
    PF_Xfer_HUE,                     // Hue
    PF_Xfer_SATURATION,              // Saturation
    PF_Xfer_LUMINOSITY,              // Luminosity
    PF_Xfer_ALPHA_ADD,               // AlphaAdd
    PF_Xfer_LINEAR_BURN,             // LinearBurn
    PF_Xfer_COLOR_BURN,              // ClassicColorBurn
    PF_Xfer_LINEAR_DODGE,            // LinearDodge
    PF_Xfer_COLOR_DODGE,             // ClassicColorDodge
    PF_Xfer_LINEAR_LIGHT,            // LinearLight
    PF_Xfer_VIVID_LIGHT,             // VividLight
    PF_Xfer_PIN_LIGHT,               // PinLight
    PF_Xfer_HARD_MIX,                // HardMix
    PF_Xfer_DIFFERENCE,              // ClassicDifference
    PF_Xfer_COLOR,                   // Color
    PF_Xfer_MULTIPLY_ALPHA,          // MultiplyAlpha
    PF_Xfer_MULTIPLY_ALPHA_LUMA,     // MultiplyAlphaLuma
    PF_Xfer_MULTIPLY_NOT_ALPHA,      // MultiplyNotAlpha
    PF_Xfer_MULTIPLY_NOT_ALPHA_LUMA  // MultiplyNotAlphaLuma
};
static_assert(std::size(kTransferModes) == 33);

PF_LayerDef* worldOf(const std::shared_ptr<World>& world) { return world ? world->world : nullptr; }

PF_Rect hostRect(const Rect<int>& r) { return PF_Rect{r.left, r.top, r.right, r.bottom}; }

PF_UtilCallbacks* utilsOf(PF_InData* in_data) { return in_data != nullptr ? in_data->utils : nullptr; }

}  // namespace

int32_t transferMode(BlendingMode mode) {
    const int64_t index = int64_t(mode) + 1;
    if (index < 0 || index >= int64_t(std::size(kTransferModes))) return PF_Xfer_IN_FRONT;
    return kTransferModes[index];
}

// ---------------------------------------------------------------- NewWorld

NewWorld::NewWorld(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites)
    : World(nullptr), in_data_(in_data), out_data_(out_data), suites_(suites), record_(new PF_LayerDef{}) {
    world = record_.get();
}

NewWorld::~NewWorld() { dispose(); }

PF_Err NewWorld::init(Bpc bpc, int width, int height, bool clear) {
    if (initialised_) return PF_Err_NONE;
    bpc_ = bpc;
    PF_Err err = PF_Err_NONE;
    switch (bpc) {
        case Bpc32: {
            void* suite = nullptr;
            err = AEFX_AcquireSuite(in_data_, out_data_, kPFWorldSuite, kPFWorldSuiteVersion2, kLoadMessage, &suite);
            if (err == PF_Err_NONE) {
                err = static_cast<const PF_WorldSuite2*>(suite)->PF_NewWorld(in_data_->effect_ref, width, height, clear,
                                                                             PF_PixelFormat_ARGB128, record_.get());
                if (err == PF_Err_NONE) err = holdDisposalSuite(suite);
                AEFX_ReleaseSuite(in_data_, out_data_, kPFWorldSuite, kPFWorldSuiteVersion2, kReleaseMessage);
            }
            break;
        }
        case Bpc16:
        case Bpc8: {
            const int32_t flags = PF_NewWorldFlag_CLEAR_PIXELS | (bpc == Bpc16 ? PF_NewWorldFlag_DEEP_PIXELS : 0);
            const PF_WorldSuite1* suite = suites_.WorldSuite1();
            err = suite->new_world(in_data_->effect_ref, width, height, flags, record_.get());
            if (err == PF_Err_NONE) err = holdDisposalSuite(suite);
            break;
        }
        default: break;
    }
    initialised_ = true;
    return err;
}

// Takes a hold of the world suite that disposal will use. Without it the world cannot be given
// back later, so it is given back at once and creation fails.
PF_Err NewWorld::holdDisposalSuite(const void* creator) {
    if (record_->data == nullptr) return PF_Err_NONE;
    basic_ = in_data_->pica_basicP;
    effectRef_ = in_data_->effect_ref;
    suiteVersion_ = bpc_ == Bpc32 ? kPFWorldSuiteVersion2 : kPFWorldSuiteVersion1;
    const void* suite = nullptr;
    if (basic_ != nullptr && basic_->AcquireSuite(kPFWorldSuite, suiteVersion_, &suite) == kSPNoError &&
        suite != nullptr) {
        suite_ = suite;
        return PF_Err_NONE;
    }
    if (bpc_ == Bpc32) {
        static_cast<const PF_WorldSuite2*>(creator)->PF_DisposeWorld(effectRef_, record_.get());
    } else {
        static_cast<const PF_WorldSuite1*>(creator)->dispose_world(effectRef_, record_.get());
    }
    *record_ = PF_LayerDef{};
    return PF_Err_BAD_CALLBACK_PARAM;
}

void NewWorld::dispose() {
    if (record_->data == nullptr || suite_ == nullptr) return;
    if (suiteVersion_ == kPFWorldSuiteVersion2) {
        static_cast<const PF_WorldSuite2*>(suite_)->PF_DisposeWorld(effectRef_, record_.get());
    } else {
        static_cast<const PF_WorldSuite1*>(suite_)->dispose_world(effectRef_, record_.get());
    }
    basic_->ReleaseSuite(kPFWorldSuite, suiteVersion_);
    suite_ = nullptr;
}

// ---------------------------------------------------------------- ParameterWorld

ParameterWorld::ParameterWorld(PF_InData* in_data, AEGP_SuiteHandler& suites)
    : World(nullptr), in_data_(in_data), suites_(suites) {}

// Every successful check-out is checked back in, whether or not it delivered pixels.
ParameterWorld::~ParameterWorld() {
    if (checkedOut_ && checkin_ != nullptr) checkin_(effectRef_, &param_);
    world = nullptr;
}

PF_Err ParameterWorld::init(int index, A_Time time) {
    if (checkedOut_) return PF_Err_NONE;
    if (in_data_ == nullptr || in_data_->inter.checkout_param == nullptr) return PF_Err_INVALID_CALLBACK;
    const PF_Err err = in_data_->inter.checkout_param(in_data_->effect_ref, index, time.value, in_data_->time_step,
                                                      time.scale, &param_);
    if (err != PF_Err_NONE) return err;
    checkedOut_ = true;
    effectRef_ = in_data_->effect_ref;
    checkin_ = in_data_->inter.checkin_param;
    if (param_.u.ld.data != nullptr) world = &param_.u.ld;
    return PF_Err_NONE;
}

// ---------------------------------------------------------------- factories

PF_Err getBpc(PF_InData* in_data, PF_OutData* out_data, PF_LayerDef* world, Bpc* bpc) {
    void* suite = nullptr;
    PF_Err err = AEFX_AcquireSuite(in_data, out_data, kPFWorldSuite, kPFWorldSuiteVersion2, kLoadMessage, &suite);
    if (err != PF_Err_NONE) return err;
    PF_PixelFormat format = PF_PixelFormat_INVALID;
    err = static_cast<const PF_WorldSuite2*>(suite)->PF_GetPixelFormat(world, &format);
    // An unknown format leaves *bpc as it was.
    if (err == PF_Err_NONE && bpc != nullptr) bpcOfFormat(format, bpc);
    const PF_Err released = AEFX_ReleaseSuite(in_data, out_data, kPFWorldSuite, kPFWorldSuiteVersion2, kReleaseMessage);
    return err != PF_Err_NONE ? err : released;
}

PF_Err getInputWorld(PF_InData* in_data, PF_SmartRenderExtra* extra, int checkout_id, std::shared_ptr<World>& out) {
    PF_LayerDef* pixels = nullptr;
    const PF_Err err = extra == nullptr || extra->cb == nullptr || extra->cb->checkout_layer_pixels == nullptr
                           ? PF_Err_INVALID_CALLBACK
                           : extra->cb->checkout_layer_pixels(in_data->effect_ref, checkout_id, &pixels);
    out = std::make_shared<World>(err == PF_Err_NONE ? pixels : nullptr);
    return err;
}

PF_Err getOutputWorld(PF_InData* in_data, PF_SmartRenderExtra* extra, std::shared_ptr<World>& out) {
    PF_LayerDef* output = nullptr;
    const PF_Err err = extra == nullptr || extra->cb == nullptr || extra->cb->checkout_output == nullptr
                           ? PF_Err_INVALID_CALLBACK
                           : extra->cb->checkout_output(in_data->effect_ref, &output);
    out = std::make_shared<World>(err == PF_Err_NONE ? output : nullptr);
    return err;
}

PF_Err getParameterWorld(PF_InData* in_data, AEGP_SuiteHandler& suites, int index, A_Time time,
                         std::shared_ptr<World>& out) {
    auto world = std::make_shared<ParameterWorld>(in_data, suites);
    const PF_Err err = world->init(index, time);
    if (err == PF_Err_NONE) out = std::move(world);
    return err;
}

PF_Err setExistingWorld(PF_InData*, AEGP_SuiteHandler&, PF_LayerDef& world, std::shared_ptr<World>& out) {
    out = std::make_shared<World>(&world);
    return PF_Err_NONE;
}

PF_Err createWorld(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Bpc bpc, int width, int height,
                   bool clear, std::shared_ptr<World>& out) {
    auto world = std::make_shared<NewWorld>(in_data, out_data, suites);
    const PF_Err err = world->init(bpc, width, height, clear);
    if (err == PF_Err_NONE) out = std::move(world);
    return err;
}

PF_Err cloneWorld(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Bpc bpc,
                  std::shared_ptr<World>& source, std::shared_ptr<World>& out) {
    const PF_LayerDef* from = worldOf(source);
    auto world = std::make_shared<NewWorld>(in_data, out_data, suites);
    const PF_Err err = world->init(bpc, from != nullptr ? from->width : 0, from != nullptr ? from->height : 0, false);
    if (err != PF_Err_NONE) return err;
    out = std::move(world);
    return copy(in_data, source, out);
}

// ---------------------------------------------------------------- pixel work

PF_Err copy(PF_InData* in_data, PF_LayerDef* source, PF_LayerDef* destination) {
    PF_UtilCallbacks* utils = utilsOf(in_data);
    if (utils == nullptr || utils->copy == nullptr) return PF_Err_INVALID_CALLBACK;
    return utils->copy(in_data->effect_ref, source, destination, nullptr, nullptr);
}

PF_Err copy(PF_InData* in_data, std::shared_ptr<World>& source, std::shared_ptr<World>& destination) {
    return copy(in_data, worldOf(source), worldOf(destination));
}

PF_Err copy(PF_InData* in_data, PF_LayerDef* source, PF_LayerDef* destination, const Rect<int>& source_rect,
            const Rect<int>& destination_rect) {
    PF_UtilCallbacks* utils = utilsOf(in_data);
    if (utils == nullptr || utils->copy == nullptr) return PF_Err_INVALID_CALLBACK;
    PF_Rect from = hostRect(source_rect);
    PF_Rect to = hostRect(destination_rect);
    return utils->copy(in_data->effect_ref, source, destination, &from, &to);
}

PF_Err copy(PF_InData* in_data, std::shared_ptr<World>& source, std::shared_ptr<World>& destination,
            const Rect<int>& source_rect, const Rect<int>& destination_rect) {
    return copy(in_data, worldOf(source), worldOf(destination), source_rect, destination_rect);
}

namespace {

PF_Err fillRect(PF_InData* in_data, PF_LayerDef* world, const Color<float>& color, const PF_Rect* rect) {
    PF_UtilCallbacks* utils = utilsOf(in_data);
    if (utils == nullptr || utils->fill == nullptr) return PF_Err_INVALID_CALLBACK;
    const PF_Pixel pixel = static_cast<PF_Pixel>(color);
    return utils->fill(in_data->effect_ref, &pixel, rect, world);
}

}  // namespace

PF_Err fill(PF_InData* in_data, std::shared_ptr<World>& world, const Color<float>& color) {
    return fillRect(in_data, worldOf(world), color, nullptr);
}

PF_Err fill(PF_InData* in_data, std::shared_ptr<World>& world, const Color<float>& color, const Rect<int>& rect) {
    const PF_Rect area = hostRect(rect);
    return fillRect(in_data, worldOf(world), color, &area);
}

namespace {

PF_Err transfer(PF_InData* in_data, PF_LayerDef* source, PF_LayerDef* destination, const PF_Rect& rect,
                Vector2<int> offset, const PF_CompositeMode& mode) {
    PF_UtilCallbacks* utils = utilsOf(in_data);
    if (utils == nullptr || utils->transfer_rect == nullptr) return PF_Err_INVALID_CALLBACK;
    return utils->transfer_rect(in_data->effect_ref, PF_Quality_HI, PF_MF_Alpha_STRAIGHT, PF_Field_FRAME, &rect, source,
                                &mode, nullptr, offset.x, offset.y, destination);
}

}  // namespace

PF_Err blend(PF_InData* in_data, std::shared_ptr<World>& source, std::shared_ptr<World>& destination, Bpc,
             BlendingMode mode) {
    PF_LayerDef* from = worldOf(source);
    const PF_Rect rect = from != nullptr ? PF_Rect{0, 0, from->width, from->height} : PF_Rect{0, 0, 0, 0};
    const PF_CompositeMode composite{transferMode(mode), 0, PF_MAX_CHAN8, false, PF_MAX_CHAN16};
    return transfer(in_data, from, worldOf(destination), rect, Vector2<int>{0, 0}, composite);
}

PF_Err blend(PF_InData* in_data, std::shared_ptr<World>& source, std::shared_ptr<World>& destination, Bpc,
             const Rect<int>& source_rect, Vector2<int> offset, BlendingMode mode, double opacity, bool rgb) {
    // Out-of-range opacity would wrap around in the 8 and 16-bit fields.
    const double unit = opacity > 0 ? std::min(opacity, 1.0) : 0.0;
    PF_CompositeMode composite{};
    composite.xfer = transferMode(mode);
    composite.rand_seed = 0;
    composite.opacity = static_cast<uint8_t>(std::trunc(unit * 255.0));
    composite.rgb_only = rgb;
    composite.opacitySu = static_cast<uint16_t>(std::trunc(unit * 32768.0));
    return transfer(in_data, worldOf(source), worldOf(destination), hostRect(source_rect), offset, composite);
}

}  // namespace Morvel
