#include "library/custom_data/color_expression_data/color_expression_data.h"

#include <algorithm>
#include <cstring>

#include "Util/HostHandles.h"
#include "library/string/string_conversion.h"

namespace Morvel::ColorExpressionData {

std::string readBlockText(void const* block, std::size_t size) {
    if (block == nullptr) return {};
    const char* bytes = static_cast<const char*>(block);
    const std::size_t limit = std::min({size, kDataSize, kMaxTextBytes});
    return std::string(bytes, static_cast<std::size_t>(std::find(bytes, bytes + limit, '\0') - bytes));
}

PF_Err readValueText(PF_InData const* in_data, PF_Handle value, std::string& text) {
    text.clear();
    if (value == nullptr) return PF_Err_NONE;
    void* bytes = HostLockHandle(in_data, value);
    if (bytes == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    text = readBlockText(bytes, HostGetHandleSize(in_data, value));
    return HostUnlockHandle(in_data, value);
}

std::string readValueText(PF_InData const* in_data, PF_Handle value) {
    std::string text;
    readValueText(in_data, value, text);
    return text;
}

PF_Err writeValueText(PF_InData const* in_data, PF_Handle value, std::string const& text) {
    if (value == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    // Only what a C string of the text holds is stored.
    const std::string stored = cutUTF8(std::string(text.c_str()), kMaxTextBytes);
    const std::size_t room = std::min<std::size_t>(HostGetHandleSize(in_data, value), kDataSize);
    if (stored.size() + 1 > room) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    char* bytes = static_cast<char*>(HostLockHandle(in_data, value));
    if (bytes == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    const PF_UtilCallbacks* utils = in_data->utils;
    if (utils->ansi.strcpy != nullptr) {
        utils->ansi.strcpy(bytes, stored.c_str());
    } else {
        std::memcpy(bytes, stored.c_str(), stored.size() + 1);
    }
    return HostUnlockHandle(in_data, value);
}

PF_Err NewDefaultData(PF_InData* in_data, PF_OutData*, void*, char*** handle, std::string const& text) {
    if (handle == nullptr) return PF_Err_NONE;
    *handle = HostNewHandle(in_data, kDataSize);
    if (*handle == nullptr) return PF_Err_OUT_OF_MEMORY;
    const PF_Err err = writeValueText(in_data, *handle, text);
    if (err != PF_Err_NONE) {
        HostDisposeHandle(in_data, *handle);
        *handle = nullptr;
    }
    return err;
}

namespace {

// A new value holding the text of `source`. A source that cannot be read is an error: taken as the
// empty text, its expression would be lost.
PF_Err newValueFrom(PF_InData* in_data, PF_OutData* out_data, void* refcon, char*** handle, PF_Handle source) {
    std::string text;
    if (PF_Err err = readValueText(in_data, source, text)) return err;
    return NewDefaultData(in_data, out_data, refcon, handle, text);
}

}  // namespace

PF_Err HandleData(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**, PF_LayerDef*, PF_ArbParamsExtra* extra,
                  int id) {
    if (extra == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (extra->id != id) return PF_Err_NONE;
    switch (extra->which_function) {
        case PF_Arbitrary_NEW_FUNC: {
            auto& call = extra->u.new_func_params;
            return NewDefaultData(in_data, out_data, call.refconPV, call.arbPH, "");
        }
        case PF_Arbitrary_DISPOSE_FUNC: return HostDisposeHandle(in_data, extra->u.dispose_func_params.arbH);
        case PF_Arbitrary_COPY_FUNC: {
            auto& call = extra->u.copy_func_params;
            if (call.dst_arbPH == nullptr) return PF_Err_NONE;
            return newValueFrom(in_data, out_data, call.refconPV, call.dst_arbPH, call.src_arbH);
        }
        case PF_Arbitrary_FLAT_SIZE_FUNC: {
            auto& call = extra->u.flat_size_func_params;
            if (call.flat_data_sizePLu == nullptr) return PF_Err_NONE;
            // A missing value flattens as the empty text in a block of the usual size.
            const uint64_t size = call.arbH != nullptr ? HostGetHandleSize(in_data, call.arbH) : kDataSize;
            *call.flat_data_sizePLu = static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
            return PF_Err_NONE;
        }
        case PF_Arbitrary_FLATTEN_FUNC: {
            auto& call = extra->u.flatten_func_params;
            if (call.flat_dataPV == nullptr || call.buf_sizeLu == 0) return PF_Err_NONE;
            std::string text;
            if (PF_Err err = readValueText(in_data, call.arbH, text)) return err;
            const std::size_t length = std::min<std::size_t>(text.size(), call.buf_sizeLu - 1);
            // Saved projects should not carry whatever happened to be in the host's buffer.
            std::memset(call.flat_dataPV, 0, call.buf_sizeLu);
            std::memcpy(call.flat_dataPV, text.data(), length);
            return PF_Err_NONE;
        }
        case PF_Arbitrary_UNFLATTEN_FUNC: {
            auto& call = extra->u.unflatten_func_params;
            if (call.flat_dataPV == nullptr || call.arbPH == nullptr) return PF_Err_NONE;
            return NewDefaultData(in_data, out_data, call.refconPV, call.arbPH,
                                  readBlockText(call.flat_dataPV, call.buf_sizeLu));
        }
        case PF_Arbitrary_INTERP_FUNC: {
            // The text holds until the next keyframe.
            auto& call = extra->u.interp_func_params;
            if (call.interpPH == nullptr) return PF_Err_NONE;
            return newValueFrom(in_data, out_data, call.refconPV, call.interpPH, call.left_arbH);
        }
        case PF_Arbitrary_COMPARE_FUNC: {
            auto& call = extra->u.compare_func_params;
            if (call.compareP == nullptr) return PF_Err_NONE;
            std::string a;
            std::string b;
            if (PF_Err err = readValueText(in_data, call.a_arbH, a)) return err;
            if (PF_Err err = readValueText(in_data, call.b_arbH, b)) return err;
            *call.compareP = a == b ? PF_ArbCompare_EQUAL : PF_ArbCompare_NOT_EQUAL;
            return PF_Err_NONE;
        }
        default: return PF_Err_NONE;
    }
}

namespace {

// Reads or writes the value of one stream at one time; every object obtained is disposed.
template <class Access>
PF_Err withStreamValue(int pluginId, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index, short timeMode,
                       A_Time time, Access access) {
    const AEGP_StreamSuite9* streams = suites.StreamSuite9();
    AEGP_StreamRefH stream = nullptr;
    PF_Err err = streams->AEGP_GetNewEffectStreamByIndex(pluginId, effect, index, &stream);
    if (err == PF_Err_NONE) {
        AEGP_StreamValue2 value{};
        err = streams->AEGP_GetNewStreamValue(pluginId, stream, timeMode, &time, true, &value);
        if (err == PF_Err_NONE) {
            err = access(streams, stream, value);
            const PF_Err disposed = streams->AEGP_DisposeStreamValue(&value);
            if (err == PF_Err_NONE) err = disposed;
        }
    }
    if (stream != nullptr) {
        const PF_Err disposed = streams->AEGP_DisposeStream(stream);
        if (err == PF_Err_NONE) err = disposed;
    }
    return err;
}

A_Time currentTime(PF_InData const* in_data) { return A_Time{in_data->current_time, in_data->time_scale}; }

}  // namespace

PF_Err GetData(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
               short timeMode, A_Time time, Data* out) {
    if (out == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    std::memset(out->text, 0, sizeof out->text);
    return withStreamValue(pluginId, suites, effect, index, timeMode, time,
                           [&](const AEGP_StreamSuite9*, AEGP_StreamRefH, AEGP_StreamValue2& value) {
                               std::string text;
                               const PF_Err err = readValueText(in_data, value.val.arbH, text);
                               std::memcpy(out->text, text.data(), text.size());
                               return err;
                           });
}

PF_Err GetData(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
               Data* out) {
    return GetData(pluginId, in_data, suites, effect, index, AEGP_LTimeMode_LayerTime, currentTime(in_data), out);
}

PF_Err SetData(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
               short timeMode, A_Time time, Data const* data) {
    if (data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const std::string text = readBlockText(data->text, sizeof data->text);
    return withStreamValue(pluginId, suites, effect, index, timeMode, time,
                           [&](const AEGP_StreamSuite9* streams, AEGP_StreamRefH stream, AEGP_StreamValue2& value) {
                               PF_Err err = writeValueText(in_data, value.val.arbH, text);
                               if (err == PF_Err_NONE) err = streams->AEGP_SetStreamValue(pluginId, stream, &value);
                               return err;
                           });
}

PF_Err SetData(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
               Data const* data) {
    return SetData(pluginId, in_data, suites, effect, index, AEGP_LTimeMode_LayerTime, currentTime(in_data), data);
}

}  // namespace Morvel::ColorExpressionData
