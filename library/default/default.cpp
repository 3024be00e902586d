#include "library/default/default.h"

#include <cstdio>

#include "Util/AEGP_SuiteHandler.h"
#include "Util/HostHandles.h"
#include "Util/ReturnMessage.h"
#include "Util/Smart_Utils.h"

namespace Morvel::Default {

PF_Err About(const char* name, const char* years_text, const Version& version, PF_InData* in_data, PF_OutData* out_data,
             PF_ParamDef**, PF_LayerDef*) {
    // Formatted here with a size, so that a long name cannot overrun the 256-byte field.
    char text[PF_MAX_RETURN_MSG_LEN];
    std::snprintf(text, sizeof text, "%s, v%d.%d.%d\rCopyright %s Morvel.", name != nullptr ? name : "",
                  static_cast<int>(version.major), static_cast<int>(version.minor), static_cast<int>(version.bugfix),
                  years_text != nullptr ? years_text : "");
    WriteReturnMessage(in_data, out_data, text);
    return PF_Err_NONE;
}

namespace {

// Until it becomes the global data, the new handle is given back on every way out, an exception
// from the suite handler included.
class NewGlobalHandle {
public:
    NewGlobalHandle(const PF_HandleSuite2* suite, PF_Handle handle) : suite_(suite), handle_(handle) {}
    ~NewGlobalHandle() {
        if (locked_) suite_->host_unlock_handle(handle_);
        if (!kept_) suite_->host_dispose_handle(handle_);
    }
    NewGlobalHandle(const NewGlobalHandle&) = delete;
    NewGlobalHandle& operator=(const NewGlobalHandle&) = delete;

    void* lock() {
        void* block = suite_->host_lock_handle(handle_);
        locked_ = block != nullptr;
        return block;
    }
    PF_Handle keep() {
        kept_ = true;
        return handle_;
    }

private:
    const PF_HandleSuite2* suite_;
    PF_Handle handle_;
    bool locked_ = false;
    bool kept_ = false;
};

}  // namespace

PF_Err GlobalSetup(const Version& version, int32_t flags, int32_t flags2, PF_InData* in_data, PF_OutData* out_data,
                   PF_ParamDef**, PF_LayerDef*) {
    out_data->my_version = version.packed();
    out_data->out_flags = flags;
    out_data->out_flags2 = flags2;

    const AEGP_SuiteHandler suites(in_data->pica_basicP);
    const PF_HandleSuite2* handleSuite = suites.HandleSuite2();
    PF_Handle handle = handleSuite->host_new_handle(kGlobalDataSize);
    if (handle == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;

    NewGlobalHandle global(handleSuite, handle);
    auto* pluginId = static_cast<AEGP_PluginID*>(global.lock());
    if (pluginId == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    const PF_Err err = suites.UtilitySuite7()->AEGP_RegisterWithAEGP(nullptr, "Error!", pluginId);
    if (err == PF_Err_NONE) out_data->global_data = global.keep();
    return err;
}

PF_Err GlobalSetdown(PF_InData* in_data) {
    if (in_data->global_data == nullptr) return PF_Err_NONE;
    const AEGP_SuiteHandler suites(in_data->pica_basicP);
    const PF_HandleSuite2* handleSuite = nullptr;
    try {
        handleSuite = suites.HandleSuite2();
    } catch (PF_Err missing) {
        // The host is letting the effect go: its global data goes back all the same, through the
        // input record's callback, and the missing suite is still reported.
        HostDisposeHandle(in_data, in_data->global_data);
        return missing;
    }
    handleSuite->host_dispose_handle(in_data->global_data);
    return PF_Err_NONE;
}

PF_Err UserChangedParam(PF_InData* in_data) {
    const AEGP_SuiteHandler suites(in_data->pica_basicP);
    AEGP_LayerH layer = nullptr;
    if (PF_Err err = suites.PFInterfaceSuite1()->AEGP_GetEffectLayer(in_data->effect_ref, &layer)) return err;
    AEGP_CompH comp = nullptr;
    return suites.LayerSuite13()->AEGP_GetLayerParentComp(layer, &comp);
}

PF_Err PreRender(PF_InData* in_data, PF_OutData*, PF_PreRenderExtra* extra) {
    if (extra == nullptr || extra->input == nullptr || extra->output == nullptr || extra->cb == nullptr ||
        extra->cb->checkout_layer == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_RenderRequest request = extra->input->output_request;
    request.preserve_rgb_of_zero_alpha = true;
    PF_CheckoutResult checkout{};
    const PF_Err err = extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request, in_data->current_time,
                                                 in_data->time_step, in_data->time_scale, &checkout);
    if (err == PF_Err_NONE) {
        UnionLRect(&checkout.result_rect, &extra->output->result_rect);
        UnionLRect(&checkout.max_result_rect, &extra->output->max_result_rect);
    }
    return err;
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData*, PF_SmartRenderExtra* extra) {
    if (extra == nullptr || extra->cb == nullptr || in_data->utils == nullptr || in_data->utils->copy == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_LayerDef* input = nullptr;
    PF_LayerDef* output = nullptr;
    PF_Err err = extra->cb->checkout_layer_pixels(in_data->effect_ref, 0, &input);
    if (err == PF_Err_NONE) err = extra->cb->checkout_output(in_data->effect_ref, &output);
    if (err == PF_Err_NONE) err = in_data->utils->copy(in_data->effect_ref, input, output, nullptr, nullptr);
    return err;
}

}  // namespace Morvel::Default
