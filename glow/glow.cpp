#include "glow/glow.h"

#include <utility>

namespace Glow {

Glow::Glow(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
           std::shared_ptr<Morvel::World> input, std::shared_ptr<Morvel::World> output, GlowParameters* params)
    : in_data(in_data),
      out_data(out_data),
      suites(suites),
      bpc(bpc),
      input(std::move(input)),
      output(std::move(output)),
      params(params) {}

// Pass-through until the pipeline driver replaces this file: the output is the input, which
// the render set-up has already made the output's size.
PF_Err Glow::execute() {
    (void)out_data;
    (void)suites;
    (void)bpc;
    (void)params;
    return Morvel::copy(in_data, input, output);
}

}  // namespace Glow
