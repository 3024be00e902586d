#pragma once

#include <cstddef>
#include <string>

#include "Util/AEGP_SuiteHandler.h"
#include "morvel_host/host.h"

namespace Morvel::ColorExpressionData {

// A value is a host handle of this many bytes: the expression text in UTF-8, zero-terminated.
// Its flattened form is the same bytes.
inline constexpr std::size_t kDataSize = 256;
inline constexpr std::size_t kMaxTextBytes = kDataSize - 1;

struct Data {
    char text[kDataSize];
};

// A new value holding text (cut to kMaxTextBytes without splitting a character) into *handle.
// Nothing happens for a null handle pointer; a handle the host cannot give is error 4.
PF_Err NewDefaultData(PF_InData* in_data, PF_OutData* out_data, void* refcon, char*** handle, std::string const& text);

// The arbitrary-data callback for the parameter with this id; calls for other ids are ignored.
PF_Err HandleData(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params, PF_LayerDef* output,
                  PF_ArbParamsExtra* extra, int id);

// The value of the effect's parameter number index, through its stream. The first form reads at
// the input record's current time in layer time.
PF_Err GetData(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
               Data* out);
PF_Err GetData(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
               short timeMode, A_Time time, Data* out);
PF_Err SetData(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
               Data const* data);
PF_Err SetData(int pluginId, PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index,
               short timeMode, A_Time time, Data const* data);

// Custom UI of the parameter number index in the effect-controls window: draw, cursor, click.
PF_Err HandleEvent(int pluginId, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params, PF_LayerDef* output,
                   PF_EventExtra* event, int index);

// The text of a value, as stored data may hold anything: a null handle is the empty text, and
// at most kMaxTextBytes are read when no terminator comes first.
std::string readValueText(PF_InData const* in_data, PF_Handle value);
// The same, telling a value that could not be locked (512) from the empty text.
PF_Err readValueText(PF_InData const* in_data, PF_Handle value, std::string& text);
std::string readBlockText(void const* block, std::size_t size);
// Writes text (cut as for a new value) into an existing value; 512 when the value is missing or
// too small to hold it, and then nothing is written.
PF_Err writeValueText(PF_InData const* in_data, PF_Handle value, std::string const& text);

}  // namespace Morvel::ColorExpressionData
