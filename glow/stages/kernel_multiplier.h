#pragma once

#include "Util/AEGP_SuiteHandler.h"
#include "morvel_host/host.h"

namespace Glow {

struct KernelMultiplierNormalParameters {
    int size = 0;
    double** kernel = nullptr;  // the kernel's spectrum
    double** bufferA = nullptr;
    double** bufferB = nullptr;
};

struct KernelMultiplierChannelParameters {
    int size = 0;
    double** redKernel = nullptr;
    double** greenKernel = nullptr;
    double** blueKernel = nullptr;
    double** red = nullptr;
    double** green = nullptr;
    double** blue = nullptr;
};

// Multiplies the tile's spectra by the kernel's, value by value; bands split the rows.
class KernelMultiplierNormal {
public:
    KernelMultiplierNormal(PF_InData* in_data, AEGP_SuiteHandler& suites, KernelMultiplierNormalParameters* params);
    PF_Err operator()(int i, int n);

private:
    [[maybe_unused]] PF_InData* in_data;
    [[maybe_unused]] AEGP_SuiteHandler& suites;
    KernelMultiplierNormalParameters* params;
};

// Each colour's spectrum by the kernel of the same colour.
class KernelMultiplierChannel {
public:
    KernelMultiplierChannel(PF_InData* in_data, AEGP_SuiteHandler& suites, KernelMultiplierChannelParameters* params);
    PF_Err operator()(int i, int n);

private:
    [[maybe_unused]] PF_InData* in_data;
    [[maybe_unused]] AEGP_SuiteHandler& suites;
    KernelMultiplierChannelParameters* params;
};

}  // namespace Glow
