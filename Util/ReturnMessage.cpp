#include "Util/ReturnMessage.h"

#include <cstring>

void WriteReturnMessage(const PF_InData* in_data, PF_OutData* out_data, const char* text) {
    if (out_data == nullptr) return;
    if (text == nullptr) text = "";
    char fitted[PF_MAX_RETURN_MSG_LEN];
    const size_t length = strnlen(text, sizeof fitted - 1);
    std::memcpy(fitted, text, length);
    fitted[length] = '\0';
    const auto hostSprintf = in_data != nullptr && in_data->utils != nullptr ? in_data->utils->ansi.sprintf : nullptr;
    if (hostSprintf != nullptr) {
        hostSprintf(out_data->return_msg, "%s", fitted);
    } else {
        std::memcpy(out_data->return_msg, fitted, length + 1);
    }
}
