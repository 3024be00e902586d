#include "library/world/adapt_input.h"

#include <algorithm>
#include <cstdint>

namespace Morvel {

namespace {

// One axis of the copy: the input's span [0, length) placed at offset, clipped to [0, limit).
// Returns false when nothing of it lies inside.
bool clipSpan(int64_t offset, int64_t length, int64_t limit, int& from, int& to, int& at, int& atEnd) {
    const int64_t start = std::max<int64_t>(offset, 0);
    const int64_t end = std::min<int64_t>(offset + length, limit);
    if (start >= end) return false;
    at = static_cast<int>(start);
    atEnd = static_cast<int>(end);
    from = static_cast<int>(start - offset);
    to = static_cast<int>(end - offset);
    return true;
}

}  // namespace

PF_Err adaptInputToOutput(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Bpc bpc,
                          std::shared_ptr<World>& input, const std::shared_ptr<World>& output) {
    const PF_LayerDef& in = *input->world;
    const PF_LayerDef& out = *output->world;
    if (in.width == out.width && in.height == out.height && in.origin_x == out.origin_x &&
        in.origin_y == out.origin_y) {
        return PF_Err_NONE;
    }
    std::shared_ptr<World> adapted;
    PF_Err err = createWorld(in_data, out_data, suites, bpc, out.width, out.height, true, adapted);
    if (err != PF_Err_NONE) return err;

    // Origins are where each world's pixel (0, 0) lies in the layer.
    const int64_t dx = int64_t(in.origin_x) - int64_t(out.origin_x);
    const int64_t dy = int64_t(in.origin_y) - int64_t(out.origin_y);
    Rect<int> from;
    Rect<int> to;
    if (clipSpan(dx, in.width, out.width, from.left, from.right, to.left, to.right) &&
        clipSpan(dy, in.height, out.height, from.top, from.bottom, to.top, to.bottom)) {
        err = copy(in_data, input, adapted, from, to);
    }
    if (err == PF_Err_NONE) input = std::move(adapted);
    return err;
}

}  // namespace Morvel
