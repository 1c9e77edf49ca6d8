// The one exception type of the page library: its message is a whole
// one-line error that a front end prints as it stands (the tool on standard
// error, the filter after "ERROR:", the printer application as the job's
// reason), so it names the file, option or page concerned.
#pragma once

#include <stdexcept>
#include <string>

namespace huecl::pages {

class PageError : public std::runtime_error {
public:
    explicit PageError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace huecl::pages
