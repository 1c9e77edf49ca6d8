// The one exception type of the tool: its message is the whole one-line
// error that main() prints, so it names the file or option concerned.
#pragma once

#include <stdexcept>
#include <string>

namespace huecl::tool {

class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace huecl::tool
