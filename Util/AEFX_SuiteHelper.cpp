#include "Util/AEFX_SuiteHelper.h"

#include "Util/ReturnMessage.h"

namespace {

constexpr char kAcquireFailed[] = "Not able to acquire AEFX Suite.";
constexpr char kReleaseFailed[] = "Not able to release AEFX Suite.";

const SPBasicSuite* basicSuiteOf(const PF_InData* in_data) {
    return in_data != nullptr ? in_data->pica_basicP : nullptr;
}

void reportError(const PF_InData* in_data, PF_OutData* out_data, const char* message) {
    if (out_data == nullptr) return;
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    WriteReturnMessage(in_data, out_data, message);
}

// Drawbot suites in the order of the record's fields.
constexpr const char* kDrawbotSuites[] = {kDRAWBOT_DrawSuite, kDRAWBOT_SupplierSuite, kDRAWBOT_SurfaceSuite,
                                          kDRAWBOT_PathSuite};

}  // namespace

PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                         const char* message, void** suite) {
    const SPBasicSuite* basic = basicSuiteOf(in_data);
    if (basic != nullptr && suite != nullptr) {
        // Only the pointer tells: a host may answer an error code and still give the suite.
        *suite = nullptr;
        basic->AcquireSuite(name, version, const_cast<const void**>(suite));
        if (*suite != nullptr) return PF_Err_NONE;
    }
    reportError(in_data, out_data, message != nullptr ? message : kAcquireFailed);
    return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                         const char* message) {
    const SPBasicSuite* basic = basicSuiteOf(in_data);
    if (basic != nullptr) {
        basic->ReleaseSuite(name, version);
        return PF_Err_NONE;
    }
    reportError(in_data, out_data, message != nullptr ? message : kReleaseFailed);
    return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suites) {
    if (suites == nullptr) {
        reportError(in_data, out_data, "NULL suite pointer passed to AEFX_AcquireDrawbotSuites");
        return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    }
    void* acquired[4] = {nullptr, nullptr, nullptr, nullptr};
    const SPBasicSuite* basic = basicSuiteOf(in_data);
    for (int i = 0; i < 4 && basic != nullptr; ++i) {
        const void* suite = nullptr;
        basic->AcquireSuite(kDrawbotSuites[i], kDRAWBOT_SuiteVersion1, &suite);
        acquired[i] = const_cast<void*>(suite);
        if (suite == nullptr) break;
    }
    suites->draw_suite = static_cast<DRAWBOT_DrawSuite1*>(acquired[0]);
    suites->supplier_suite = static_cast<DRAWBOT_SupplierSuite1*>(acquired[1]);
    suites->surface_suite = static_cast<DRAWBOT_SurfaceSuite1*>(acquired[2]);
    suites->path_suite = static_cast<DRAWBOT_PathSuite1*>(acquired[3]);
    if (acquired[3] != nullptr) return PF_Err_NONE;
    reportError(in_data, out_data, kAcquireFailed);
    return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data) {
    const SPBasicSuite* basic = basicSuiteOf(in_data);
    for (const char* name : kDrawbotSuites) {
        if (basic != nullptr) {
            basic->ReleaseSuite(name, kDRAWBOT_SuiteVersion1);
        } else {
            reportError(in_data, out_data, kReleaseFailed);
        }
    }
    return PF_Err_NONE;
}
