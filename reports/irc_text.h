// The IRC bot wraps names in braces and quotes, and a name with slashes or
// backslashes must never reach a file path: the report commands drop these
// characters before they use what the bot sent.
#pragma once

#include <string>

namespace quarvel {

// The text without "{", "}", '"', "/" and "\".
std::string cleanIrcText(const std::string& text);

}  // namespace quarvel
