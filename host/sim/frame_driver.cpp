// The frame driver of an effect instance: one frame through smart pre-render and smart render.

#include <cstring>
#include <stdexcept>

#include "host/sim/frame.h"
#include "host/sim/plugin.h"

namespace Sim {

namespace {

std::string rectText(const PF_LRect& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

// A copy of the output world's pixels that outlives the frame, with its origin.
Image keepOutput(const PF_LayerDef& world) {
    Image kept(world.width, world.height, world.pixel_format);
    const size_t rowLength = size_t(world.width) * pixelBytes(world.pixel_format);
    for (int32_t y = 0; y < world.height; ++y) {
        std::memcpy(&kept.at<unsigned char>(0, y), static_cast<const char*>(world.data) + size_t(y) * world.rowbytes,
                    rowLength);
    }
    kept.def().origin_x = world.origin_x;
    kept.def().origin_y = world.origin_y;
    return kept;
}

}  // namespace

FrameResult PluginInstance::renderFrame(const FrameRequest& request) {
    const PF_PixelFormat format = formatOfDepth(request.depth);
    if (format == 0) throw std::invalid_argument("depth " + std::to_string(request.depth) + " is not 8, 16 or 32");
    if (request.downsampleX.num <= 0 || request.downsampleX.den == 0 || request.downsampleY.num <= 0 ||
        request.downsampleY.den == 0) {
        throw std::invalid_argument("downsampling is not a positive fraction");
    }
    if (effect_.inputLayer == nullptr) throw std::logic_error("the instance has no input layer");

    endFrame(host_, effect_);
    effect_.frame = FrameState{true, format, request.downsampleX, request.downsampleY};
    FrameResult frame;
    const PF_LRect bounds = frameBounds(effect_, *effect_.inputLayer);
    frame.request = request.rect.value_or(bounds);
    host_.log().add("frame " + std::to_string(request.depth) + " bits, request " + rectText(frame.request));

    PF_PreRenderInput preIn{};
    preIn.output_request.rect = frame.request;
    preIn.output_request.channel_mask = 0xf;
    preIn.bitdepth = int16_t(request.depth);
    PF_PreRenderOutput preOut{};
    PF_PreRenderExtra pre{&preIn, &preOut, preRenderCallbacks()};
    frame.preRenderErr = command(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &pre);
    frame.resultRect = preOut.result_rect;
    frame.maxResultRect = preOut.max_result_rect;
    frame.flags = preOut.flags;
    for (const auto& [id, checkout] : effect_.layerCheckouts) frame.checkouts.push_back(checkout);

    void* const data = preOut.pre_render_data;
    const bool dataIsHandle = data != nullptr && host_.isLiveHandle(static_cast<PF_Handle>(data));
    const std::string dataKey = Ledger::keyOf(data);
    if (data != nullptr) {
        host_.ledger().acquire("pre-render data", dataKey, "frame of " + name_);
        if (preOut.delete_pre_render_data_func == nullptr) {
            violation("smart pre-render: pre-render data without a delete function is never freed");
        }
    }

    if (frame.preRenderErr == PF_Err_NONE) {
        frame.outputRect = intersect(frame.resultRect, frame.request);
        if (!isEmptyRect(frame.outputRect)) {
            Image image(frame.outputRect.right - frame.outputRect.left, frame.outputRect.bottom - frame.outputRect.top,
                        format);
            image.def().origin_x = frame.outputRect.left;
            image.def().origin_y = frame.outputRect.top;
            PF_LayerDef* output = host_.worlds().adopt(std::move(image));
            PF_LayerDef* const before = effect_.outputWorld;
            effect_.outputWorld = output;

            PF_SmartRenderInput renderIn{};
            renderIn.output_request = preIn.output_request;
            renderIn.bitdepth = preIn.bitdepth;
            renderIn.pre_render_data = data;
            PF_SmartRenderExtra render{&renderIn, smartRenderCallbacks()};
            frame.renderErr = command(PF_Cmd_SMART_RENDER, nullptr, nullptr, &render);
            frame.rendered = true;
            frame.output = keepOutput(*output);

            effect_.outputWorld = before;
            host_.worlds().drop(output);
        }
    }

    if (data != nullptr && preOut.delete_pre_render_data_func != nullptr) {
        try {
            preOut.delete_pre_render_data_func(data);
        } catch (...) {
            violation("smart render: an exception left the pre-render data's delete function");
        }
        ++frame.deletes;
        host_.ledger().release("pre-render data", dataKey);
        if (dataIsHandle && host_.isLiveHandle(static_cast<PF_Handle>(data))) {
            violation("smart render: pre-render data outlives its frame (the delete function kept it)");
        }
    }
    endFrame(host_, effect_);
    return frame;
}

}  // namespace Sim
