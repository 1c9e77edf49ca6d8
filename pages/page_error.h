// The exception types of the page library. A PageError's message is a
// whole one-line error that a front end prints as it stands (the tool on
// standard error, the filter after "ERROR:", the printer application as the
// job's reason), so it names the file, option or page concerned.
// PageCancelled is no error: the band loop stopped because its caller asked
// it to (a cancelled job), and the page it was on is unfinished.
#pragma once

#include <stdexcept>
#include <string>

namespace huecl::pages {

class PageError : public std::runtime_error {
public:
    explicit PageError(const std::string& message) : std::runtime_error(message) {}
};

class PageCancelled : public std::runtime_error {
public:
    PageCancelled() : std::runtime_error("the page was cancelled") {}
};

}  // namespace huecl::pages
