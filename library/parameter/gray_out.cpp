#include "Util/AEGP_SuiteHandler.h"
#include "library/parameter/parameter.h"

namespace Morvel {

PF_Err grayOutParameter(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_ParamDef** params, int index, bool gray) {
    if (in_data == nullptr || params == nullptr || index < 0 || params[index] == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_ParamDef copy = *params[index];
    if (gray) {
        copy.ui_flags |= PF_PUI_DISABLED;
    } else {
        copy.ui_flags &= ~PF_PUI_DISABLED;
    }
    return suites.ParamUtilsSuite2()->PF_UpdateParamUI(in_data->effect_ref, index, &copy);
}

}  // namespace Morvel
