#pragma once

#include <string>

namespace Morvel::ColorExpressionData {

// The script of the edit dialog: a modal window titled with the parameter's name and an edit
// field holding the text. Its value is "1" and the edited text after OK, "0" after Cancel.
// Both texts go in as escapes; text that is not UTF-8 throws Morvel::Utf8Error.
std::string dialogScript(std::string const& name, std::string const& text);

}  // namespace Morvel::ColorExpressionData
