#include "host/tool/output_options.h"

#include <stdexcept>

namespace Tool {

constinit const std::string_view kOutputOptionsHelp =
    "  --png-compression N    PNG output: 0 (none) to 9 (smallest, slowest); default 2\n"
    "  --exr-compression NAME OpenEXR output: none, rle, zips, zip, piz, pxr24, b44, b44a,\n"
    "                         dwaa or dwab (pxr24, b44, b44a, dwaa, dwab lose detail); default zip\n"
    "  --exr-type half|float  OpenEXR output: the channels' type; default as the input file\n"
    "                         (half for a half OpenEXR file, float otherwise)\n";

int wholeNumber(const std::string& option, const std::string& text, int low, int high) {
    size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || value < low || value > high) {
        throw std::runtime_error(option + " wants a whole number from " + std::to_string(low) + " to " +
                                 std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

bool isOutputOption(const std::string& option) {
    return option == "--png-compression" || option == "--exr-compression" || option == "--exr-type";
}

bool takeOutputOption(const std::string& option, const std::string& value, OutputOptions& into) {
    if (option == "--png-compression") {
        into.write.pngCompression = wholeNumber(option, value, 0, 9);
    } else if (option == "--exr-compression") {
        into.write.exrCompression = value;
    } else if (option == "--exr-type") {
        if (value != "half" && value != "float")
            throw std::runtime_error("--exr-type is half or float, not '" + value + "'");
        into.exrType = value;
    } else {
        return false;
    }
    return true;
}

}  // namespace Tool
