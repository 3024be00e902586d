#include "glow/threshold_channel.h"

namespace Glow {

ThresholdChannel::ThresholdChannel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                                 PF_LayerDef* output, ThresholdParameters<ChannelColor>* params)
    : Filter(in_data, suites, bpc, input, output, params), ThresholdToning(in_data, bpc, input, params->common) {}

PF_Err ThresholdChannel::filter8(const Morvel::Rect<int>& rect, bool) {
    return recordBand<PF_Pixel>(in_data, *suites, input, rect, *params);
}

PF_Err ThresholdChannel::filter16(const Morvel::Rect<int>& rect, bool) {
    return recordBand<PF_Pixel16>(in_data, *suites, input, rect, *params);
}

PF_Err ThresholdChannel::filter32(const Morvel::Rect<int>& rect, bool) {
    return recordBand<PF_PixelFloat>(in_data, *suites, input, rect, *params);
}

}  // namespace Glow
