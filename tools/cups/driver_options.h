// The job's options of the filter: argument 5 and the PPD that the
// scheduler names, with the job's choices marked in it. What the choices
// mean is the page library's (pages/driver_choices.h).
#pragma once

#include <cups/ppd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace huecl::cups {

// The job's options (argument 5 of a filter) and the PPD named by the PPD
// environment variable, if any, with the job's options marked in it.
class JobOptions {
public:
    JobOptions(const char* optionText, const char* ppdPath);
    ~JobOptions();
    JobOptions(const JobOptions&) = delete;
    JobOptions& operator=(const JobOptions&) = delete;

    // The marked PPD choice of an option, else the job option of that name.
    std::optional<std::string> choice(const std::string& keyword) const;
    // One line for each job option that names a PPD option but none of its
    // choices: the scheduler passes such a value on, libcups does not mark
    // it, and the page prints with the choice named here instead.
    const std::vector<std::string>& ignoredChoices() const { return ignoredChoices_; }
    // A cupsICCProfile of the PPD whose qualifiers (colour model, media
    // type, resolution) all match the marked choices, if any.
    std::optional<std::filesystem::path> ppdProfile() const;

private:
    int optionCount_ = 0;
    cups_option_t* options_ = nullptr;
    ppd_file_t* ppd_ = nullptr;
    std::vector<std::string> ignoredChoices_;
};

}  // namespace huecl::cups
