#pragma once

// Arbitrary-data parameters whose flat form is text, as the colour expressions' is: the text and
// a zero terminator in a block of fixed size, zeros after it. The tool shows and sets them as
// text, through the effect's own arbitrary-data callbacks, as the host saves and loads them.

#include <cstddef>
#include <optional>
#include <string>

#include "host/sim/plugin.h"

namespace Tool {

struct TextBlock {
    size_t size = 0;  // the flat block's bytes, the terminator included
    std::string text;
};

// The flat form of the parameter's default, when it is text; nothing for other parameters.
std::optional<TextBlock> defaultTextBlock(Sim::PluginInstance& instance, int index);

// Makes text the parameter's value as the host loads a saved one: the effect unflattens a block
// of the default's size holding it, and the value goes into the parameter's stream. Throws
// std::runtime_error naming the parameter when the text does not fit or the effect refuses it.
void storeText(Sim::PluginInstance& instance, int index, const TextBlock& shape, const std::string& text);

}  // namespace Tool
