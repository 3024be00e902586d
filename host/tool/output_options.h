#pragma once

// The options that say how an output file is written, shared by the commands that write one.

#include <string>
#include <string_view>

#include "host/sim/image_io.h"

namespace Tool {

struct OutputOptions {
    Sim::WriteOptions write;
    // "half", "float", or empty: as the input.
    std::string exrType;
};

// The options' lines for a command's help text.
extern const std::string_view kOutputOptionsHelp;

bool isOutputOption(const std::string& option);

// Takes `option` with its `value` when it is one of the output options; false for any other
// option. A value the option cannot take throws std::runtime_error.
bool takeOutputOption(const std::string& option, const std::string& value, OutputOptions& into);

// A whole number from low to high, or std::runtime_error naming the option.
int wholeNumber(const std::string& option, const std::string& text, int low, int high);

}  // namespace Tool
