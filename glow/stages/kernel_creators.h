#pragma once

#include <memory>
#include <vector>

#include "glow/stages/kernel_creator.h"

namespace Glow {

// The creators the switches ask for, in the order they add into the kernel: Diffusion, Beam, Kernel.
std::vector<std::unique_ptr<KernelCreatorNormal>> getKernelCreatorsNormal(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                                                          Morvel::Bpc bpc, int threadCount,
                                                                          GlowParameters* params);
std::vector<std::unique_ptr<KernelCreatorChannel>> getKernelCreatorsChannel(PF_InData* in_data,
                                                                            AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                                                            int threadCount, GlowParameters* params);

// One creator's two passes over the kernel rows through the host's threads: init, calculate,
// beforeBake (always, so the creator ends in a consistent state), bake. A pending error skips
// the passes and is returned; otherwise the first error of the creator.
template <typename Creator, typename... Rows>
PF_Err runKernelCreator(PF_InData* in_data, AEGP_SuiteHandler& suites, Creator& creator, PF_Err err, int size,
                        Rows... rows);

// The image's larger side times the horizontal downsample factor.
double imageLimit(const PF_InData* in_data);

// The kernel radius of the creators: the largest radius, capped at the image limit unless a
// creator may reach past the image.
template <typename Creator>
int kernelRadius(PF_InData* in_data, const std::vector<std::unique_ptr<Creator>>& creators);

}  // namespace Glow

#include "glow/stages/kernel_creators_impl.h"
