#pragma once

#include <cstdint>
#include <memory>

#include "library/utility/color.h"
#include "library/utility/geometry.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

class AEGP_SuiteHandler;

namespace Morvel {

// The blending modes of the effects' "Blending Mode" menus; blend maps each to a host transfer mode.
enum class BlendingMode : int32_t {
    None = -1,
    Normal = 0,
    Dissolve,
    Add,
    Multiply,
    Screen,
    Overlay,
    SoftLight,
    HardLight,
    ColorDodge,
    ColorBurn,
    Darken,
    Lighten,
    Difference,
    Exclusion,
    Hue,
    Saturation,
    Luminosity,
    AlphaAdd,
    LinearBurn,
    ClassicColorBurn,
    LinearDodge,
    ClassicColorDodge,
    LinearLight,
    VividLight,
    PinLight,
    HardMix,
    ClassicDifference,
    Color,
    MultiplyAlpha,
    MultiplyAlphaLuma,
    MultiplyNotAlpha,
    MultiplyNotAlphaLuma
};

// The host's transfer mode for a blending mode; modes outside the table composite in front.
int32_t transferMode(BlendingMode mode);

// A host world held through shared ownership. This root class only borrows: it never creates,
// disposes or checks in anything.
class World {
public:
    explicit World(PF_LayerDef* world = nullptr) : world(world) {}
    virtual ~World() = default;
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    PF_LayerDef* world;
};

// A world the effect asks the host to create, disposed when it goes.
//
// Creation needs the command's records and suite handler; disposal does not: a created world
// keeps the basic suite, the effect reference and its own hold on the world suite, so that it
// may safely outlive the handler and the records of the command that made it.
class NewWorld : public World {
public:
    NewWorld(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites);
    ~NewWorld() override;

    // Creates the world once; later calls return 0 and do nothing. A depth outside 0..2 creates
    // nothing and returns 0.
    PF_Err init(Bpc bpc, int width, int height, bool clear);
    Bpc bpc() const { return bpc_; }

private:
    PF_Err holdDisposalSuite(const void* creator);
    void dispose();

    PF_InData* in_data_;
    PF_OutData* out_data_;
    AEGP_SuiteHandler& suites_;
    std::unique_ptr<PF_LayerDef> record_;
    Bpc bpc_ = Bpc8;
    bool initialised_ = false;

    const SPBasicSuite* basic_ = nullptr;
    PF_ProgPtr effectRef_ = nullptr;
    int32_t suiteVersion_ = 0;
    const void* suite_ = nullptr;
};

// A layer parameter checked out for as long as the world lives.
class ParameterWorld : public World {
public:
    ParameterWorld(PF_InData* in_data, AEGP_SuiteHandler& suites);
    ~ParameterWorld() override;

    // Checks the parameter out at the time; the world is the layer's when it has pixels, else
    // null. Once checked out, later calls return 0 and do nothing.
    PF_Err init(int index, A_Time time);
    const PF_ParamDef& param() const { return param_; }

private:
    PF_InData* in_data_;
    [[maybe_unused]] AEGP_SuiteHandler& suites_;
    PF_ParamDef param_{};
    // Kept from the check-out so the check-in does not depend on the command's records.
    PF_ProgPtr effectRef_ = nullptr;
    PF_Err (*checkin_)(PF_ProgPtr, PF_ParamDef*) = nullptr;
    bool checkedOut_ = false;
};

PF_Err getBpc(PF_InData* in_data, PF_OutData* out_data, PF_LayerDef* world, Bpc* bpc);

// Smart-render check-outs; out holds a world (null pixels on failure) whatever the result.
PF_Err getInputWorld(PF_InData* in_data, PF_SmartRenderExtra* extra, int checkout_id, std::shared_ptr<World>& out);
PF_Err getOutputWorld(PF_InData* in_data, PF_SmartRenderExtra* extra, std::shared_ptr<World>& out);

// out is set only on success.
PF_Err getParameterWorld(PF_InData* in_data, AEGP_SuiteHandler& suites, int index, A_Time time,
                         std::shared_ptr<World>& out);
PF_Err setExistingWorld(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_LayerDef& world, std::shared_ptr<World>& out);
PF_Err createWorld(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Bpc bpc, int width, int height,
                   bool clear, std::shared_ptr<World>& out);
PF_Err cloneWorld(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Bpc bpc,
                  std::shared_ptr<World>& source, std::shared_ptr<World>& out);

// The host converts depth and scales when the rectangles differ in size.
PF_Err copy(PF_InData* in_data, std::shared_ptr<World>& source, std::shared_ptr<World>& destination);
PF_Err copy(PF_InData* in_data, PF_LayerDef* source, PF_LayerDef* destination);
PF_Err copy(PF_InData* in_data, PF_LayerDef* source, PF_LayerDef* destination, const Rect<int>& source_rect,
            const Rect<int>& destination_rect);
PF_Err copy(PF_InData* in_data, std::shared_ptr<World>& source, std::shared_ptr<World>& destination,
            const Rect<int>& source_rect, const Rect<int>& destination_rect);

// The colour goes to the host as an 8-bit pixel at every depth; the host converts it.
PF_Err fill(PF_InData* in_data, std::shared_ptr<World>& world, const Color<float>& color);
PF_Err fill(PF_InData* in_data, std::shared_ptr<World>& world, const Color<float>& color, const Rect<int>& rect);

// The whole source at (0, 0), fully opaque.
PF_Err blend(PF_InData* in_data, std::shared_ptr<World>& source, std::shared_ptr<World>& destination, Bpc bpc,
             BlendingMode mode);
// opacity is clamped to 0..1.
PF_Err blend(PF_InData* in_data, std::shared_ptr<World>& source, std::shared_ptr<World>& destination, Bpc bpc,
             const Rect<int>& source_rect, Vector2<int> offset, BlendingMode mode, double opacity, bool rgb);

}  // namespace Morvel
