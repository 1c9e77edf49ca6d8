// The command-line options of the state file, spool and socket folders,
// which must reach a server that a sub-command starts through the
// environment.
#include "app_options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace huecl::app {
namespace {

class LocationOptions : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* variable : {stateFileVariable, spoolDirectoryVariable, socketDirectoryVariable})
            unsetenv(variable);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(LocationOptions, TakesEachOptionInEitherSpellingAndKeepsTheRest) {
    const std::vector<std::string> remaining =
        takeLocationOptions({"huecl-printer-app", "--state-file", "/s/state", "server", "--spool-directory=/s/spool",
                             "-o", "server-port=9", "--socket-directory", "/s"});
    EXPECT_EQ(remaining, (std::vector<std::string>{"huecl-printer-app", "server", "-o", "server-port=9"}));
    const AppLocations locations = locationsFromEnvironment();
    EXPECT_EQ(locations.stateFile, "/s/state");
    EXPECT_EQ(locations.spoolDirectory, "/s/spool");
    EXPECT_EQ(locations.socketDirectory, "/s");
}

TEST_F(LocationOptions, LeavesFileNamesAfterTheEndOfOptionsAlone) {
    const std::vector<std::string> remaining =
        takeLocationOptions({"app", "submit", "--", "--state-file=/not/an/option"});
    EXPECT_EQ(remaining, (std::vector<std::string>{"app", "submit", "--", "--state-file=/not/an/option"}));
    EXPECT_EQ(std::getenv(stateFileVariable), nullptr);
}

TEST_F(LocationOptions, RefusesRelativePathsAndMissingValues) {
    // A server started by a sub-command runs elsewhere than its caller.
    EXPECT_THROW(takeLocationOptions({"app", "--state-file=state"}), std::invalid_argument);
    EXPECT_THROW(takeLocationOptions({"app", "--spool-directory"}), std::invalid_argument);
    EXPECT_THROW(takeLocationOptions({"app", "--socket-directory="}), std::invalid_argument);
}

TEST_F(LocationOptions, FallsBackToTheUsersOrTheSystemsFolders) {
    setenv(socketDirectoryVariable, "/run/x", 1);
    const AppLocations locations = locationsFromEnvironment();
    EXPECT_FALSE(locations.stateFile.empty());
    EXPECT_NE(locations.stateFile, locations.spoolDirectory);
    EXPECT_EQ(locations.socketDirectory, "/run/x");
}

}  // namespace
}  // namespace huecl::app
