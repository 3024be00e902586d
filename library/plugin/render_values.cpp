#include "library/plugin/render_values.h"

#include <cstring>

#include "Util/AEGP_SuiteHandler.h"

namespace Morvel::Plugin {

namespace {

// What the render holds of the host's memory, given back in this order whichever way it ends.
class RenderHandles {
public:
    explicit RenderHandles(const PF_HandleSuite2* suite) : suite_(suite) {}
    ~RenderHandles() {
        if (preRender_ != nullptr) suite_->host_unlock_handle(preRender_);
        if (global_ != nullptr) suite_->host_unlock_handle(global_);
        if (values_ != nullptr) {
            if (valuesLocked_) suite_->host_unlock_handle(values_);
            suite_->host_dispose_handle(values_);
        }
    }
    RenderHandles(const RenderHandles&) = delete;
    RenderHandles& operator=(const RenderHandles&) = delete;

    void* lockGlobal(PF_Handle handle) { return lock(handle, global_); }
    void* lockPreRender(PF_Handle handle) { return lock(handle, preRender_); }
    void* newValues(uint64_t size) {
        values_ = suite_->host_new_handle(size);
        if (values_ == nullptr) return nullptr;
        void* block = suite_->host_lock_handle(values_);
        valuesLocked_ = block != nullptr;
        return block;
    }
    uint64_t size(PF_Handle handle) const { return suite_->host_get_handle_size(handle); }

private:
    void* lock(PF_Handle handle, PF_Handle& held) {
        void* block = suite_->host_lock_handle(handle);
        if (block != nullptr) held = handle;
        return block;
    }

    const PF_HandleSuite2* suite_;
    PF_Handle global_ = nullptr;
    PF_Handle preRender_ = nullptr;
    PF_Handle values_ = nullptr;
    bool valuesLocked_ = false;
};

}  // namespace

PF_Err renderWithValues(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra, const ParameterDef* rows,
                        int count, RenderEntry render) {
    if (in_data == nullptr || extra == nullptr || extra->input == nullptr || rows == nullptr || count < 0 ||
        render == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const AEGP_SuiteHandler suites(in_data->pica_basicP);
    RenderHandles handles(suites.HandleSuite2());
    if (in_data->global_data == nullptr || handles.size(in_data->global_data) < sizeof(AEGP_PluginID)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const auto* global = static_cast<const AEGP_PluginID*>(handles.lockGlobal(in_data->global_data));
    if (global == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const AEGP_PluginID pluginId = *global;

    const auto preRenderHandle = static_cast<PF_Handle>(extra->input->pre_render_data);
    const uint64_t preRenderSize = uint64_t(count) * sizeof(ParameterUnionValue);
    if (preRenderHandle == nullptr || handles.size(preRenderHandle) < preRenderSize) return PF_Err_BAD_CALLBACK_PARAM;
    const auto* preRender = static_cast<const ParameterUnionValue*>(handles.lockPreRender(preRenderHandle));
    if (preRender == nullptr) return PF_Err_BAD_CALLBACK_PARAM;

    auto* values = static_cast<ParameterValue*>(handles.newValues(uint64_t(count) * sizeof(ParameterValue)));
    if (values == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    for (int r = 0; r < count; ++r) {
        values[r].id = rows[r].id;
        values[r].kind = rows[r].kind;
        std::memcpy(&values[r].value, &preRender[r], sizeof(ParameterUnionValue));
    }
    return render(pluginId, in_data, out_data, extra, values, false);
}

}  // namespace Morvel::Plugin
