#include "glow/stages/kernel_creators.h"

#include "glow/stages/kernel_creator_beam.h"
#include "glow/stages/kernel_creator_diffusion.h"
#include "glow/stages/kernel_creator_layer.h"

namespace Glow {

std::vector<std::unique_ptr<KernelCreatorNormal>> getKernelCreatorsNormal(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                                                          Morvel::Bpc bpc, int threadCount,
                                                                          GlowParameters* params) {
    std::vector<std::unique_ptr<KernelCreatorNormal>> creators;
    if (params->diffusion) {
        creators.push_back(std::make_unique<KernelCreatorNormalDiffusion>(in_data, suites, bpc, threadCount, params));
    }
    if (params->beam) {
        creators.push_back(std::make_unique<KernelCreatorNormalBeam>(in_data, suites, bpc, threadCount, params));
    }
    if (params->kernel) {
        creators.push_back(std::make_unique<KernelCreatorNormalKernel>(in_data, suites, bpc, threadCount, params));
    }
    return creators;
}

std::vector<std::unique_ptr<KernelCreatorChannel>> getKernelCreatorsChannel(PF_InData* in_data,
                                                                            AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                                                            int threadCount, GlowParameters* params) {
    std::vector<std::unique_ptr<KernelCreatorChannel>> creators;
    if (params->diffusion) {
        creators.push_back(std::make_unique<KernelCreatorChannelDiffusion>(in_data, suites, bpc, threadCount, params));
    }
    if (params->beam) {
        creators.push_back(std::make_unique<KernelCreatorChannelBeam>(in_data, suites, bpc, threadCount, params));
    }
    if (params->kernel) {
        creators.push_back(std::make_unique<KernelCreatorChannelKernel>(in_data, suites, bpc, threadCount, params));
    }
    return creators;
}

double imageLimit(const PF_InData* in_data) {
    const double side = std::max(in_data->width, in_data->height);
    const double den = in_data->downsample_x.den != 0 ? static_cast<double>(in_data->downsample_x.den) : 1.0;
    return side * in_data->downsample_x.num / den;
}

}  // namespace Glow
