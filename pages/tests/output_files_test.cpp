#include "pages/writers/output_files.h"
#include "pages/tests/temporary_folder.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace huecl::pages {
namespace {

using testing::namesIn;
using testing::readFile;
using testing::TemporaryFolder;
namespace fs = std::filesystem;

void writeRun(const fs::path& folder, const std::vector<std::string>& names, const std::string& content) {
    OutputFolder output(folder);
    for (const auto& name : names) output.create(name).write(content);
    output.commit();
}

// The id of a process that has ended, as a killed run's would be.
pid_t endedProcessId() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(OutputFolderReplacesEarlierRun, LeavesOnlyTheNewRunAndForeignFiles) {
    TemporaryFolder folder;
    const auto target = folder / "out";
    writeRun(target, {"page.hcr", "plane-c.pgm", "plane-k.pgm"}, "first");
    folder.writeFile("out/keep.txt", "the user's");
    writeRun(target, {"page.hcr", "plane-k.pgm"}, "second");
    EXPECT_EQ(namesIn(target), (std::vector<std::string>{".huecl-outputs", "keep.txt", "page.hcr", "plane-k.pgm"}));
    EXPECT_EQ(readFile(target / "page.hcr"), "second");
    EXPECT_EQ(readFile(target / ".huecl-outputs"), "page.hcr\nplane-k.pgm\n");
}

TEST(OutputFolderReplacesEarlierRun, RefusesAFileNoEarlierRunWroteUnlessForced) {
    TemporaryFolder folder;
    const auto target = folder / "out";
    fs::create_directories(target);
    folder.writeFile("out/preview.png", "the user's");
    try {
        OutputFolder output(target);
        output.create("preview.png");
        ADD_FAILURE() << "the user's file was taken";
    } catch (const PageError& error) {
        EXPECT_EQ(std::string(error.what()), (target / "preview.png").string() +
                                                 " is not a file huecl wrote there, and would be replaced (-f or "
                                                 "--force replaces it)");
    }
    EXPECT_EQ(readFile(target / "preview.png"), "the user's");
    {
        OutputFolder output(target, true);
        output.create("preview.png").write(std::string("forced"));
        output.commit();
    }
    EXPECT_EQ(readFile(target / "preview.png"), "forced");
    writeRun(target, {"preview.png"}, "again");  // an earlier run wrote it now
    EXPECT_EQ(readFile(target / "preview.png"), "again");
}

TEST(OutputFolderReplacesEarlierRun, ListsNumberedPagesUnderTheFoldersOwnName) {
    TemporaryFolder folder;
    const auto target = folder / "out";
    {
        OutputFolder output(target);
        for (const char* prefix : {"page-1-", "page-2-", "page-3-"}) {
            output.setNamePrefix(prefix);
            output.create("preview.png").write(std::string("page"));
        }
        output.commit();
    }
    EXPECT_EQ(namesIn(target), (std::vector<std::string>{".huecl-outputs", "page-1-preview.png", "page-2-preview.png",
                                                         "page-3-preview.png"}));
    writeRun(target, {"preview.png"}, "one page");
    EXPECT_EQ(namesIn(target), (std::vector<std::string>{".huecl-outputs", "preview.png"}));
}

TEST(OutputFolderReplacesEarlierRun, FailedRunKeepsTheEarlierOne) {
    TemporaryFolder folder;
    const auto target = folder / "out";
    writeRun(target, {"page.hcr", "plane-c.pgm"}, "first");
    {
        OutputFolder output(target);
        output.create("page.hcr").write(std::string("half"));
    }
    EXPECT_EQ(namesIn(target), (std::vector<std::string>{".huecl-outputs", "page.hcr", "plane-c.pgm"}));
    EXPECT_EQ(readFile(target / "page.hcr"), "first");
}

TEST(OutputFolderReplacesEarlierRun, DamagedListReachesNothingOutside) {
    TemporaryFolder folder;
    const auto target = folder / "out";
    fs::create_directories(target / "sub");
    folder.writeFile("outside.txt", "x");
    folder.writeFile("out/sub/inner.txt", "x");
    folder.writeFile("out/.huecl-outputs", "../outside.txt\nsub\nsub/inner.txt\n..\n.\n\n");
    writeRun(target, {"a.txt"}, "new");
    EXPECT_TRUE(fs::exists(folder / "outside.txt"));
    EXPECT_TRUE(fs::exists(target / "sub/inner.txt"));
}

TEST(OutputFolderReplacesEarlierRun, RemovesTemporaryFilesOfEndedProcessesOnly) {
    TemporaryFolder folder;
    const auto target = folder / "out";
    fs::create_directories(target);
    const std::string ended = std::to_string(endedProcessId());
    const std::string living = std::to_string(::getppid());
    for (const auto& name :
         {".page.hcr.part-" + ended, ".preview.png.part-" + living, ".notes.part-x" + ended, "page.part-" + ended})
        folder.writeFile("out/" + name, "left over");
    writeRun(target, {"a.txt"}, "new");
    EXPECT_EQ(namesIn(target),
              (std::vector<std::string>{".huecl-outputs", ".notes.part-x" + ended, ".preview.png.part-" + living,
                                        "a.txt", "page.part-" + ended}));
}

std::string errorOf(const fs::path& output, const fs::path& input, bool force) {
    try {
        checkOutputFile(output, input, force);
    } catch (const PageError& error) {
        return error.what();
    }
    return "accepted";
}

TEST(SingleOutputFile, RefusesWhatItMustNotReplace) {
    TemporaryFolder folder;
    const auto input = folder.writeFile("in.txt", "input");
    const auto existing = folder.writeFile("old.lzs", "old");
    fs::create_symlink(input, folder / "link-to-input");
    fs::create_directories(folder / "dir");
    struct Case {
        fs::path output;
        bool force;
        std::string expected;
    } const cases[] = {
        {folder / "new.lzs", false, "accepted"},
        {existing, false, existing.string() + " already exists (-f or --force overwrites it)"},
        {existing, true, "accepted"},
        {input, true, input.string() + " is the input file itself"},
        {folder / "link-to-input", true, (folder / "link-to-input").string() + " is the input file itself"},
        {folder / "dir", true, "cannot write " + (folder / "dir").string() + ": it is a folder"},
        {"/dev/null", false, "accepted"},
        {"-", false, "accepted"},
    };
    for (const auto& c : cases) EXPECT_EQ(errorOf(c.output, input, c.force), c.expected) << c.output;
}

TEST(SingleOutputFile, WritesThroughLinksAndSpecialFilesInPlace) {
    TemporaryFolder folder;
    const auto target = folder.writeFile("target.bin", "old");
    fs::create_symlink("target.bin", folder / "link.bin");
    {
        PendingFile file(folder / "link.bin");
        file.write(std::string("new"));
        file.commit();
    }
    EXPECT_TRUE(fs::is_symlink(folder / "link.bin"));
    EXPECT_EQ(readFile(target), "new");

    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    const pid_t reader = ::fork();
    if (reader == 0) {
        // The child drains the FIFO into a file, as a reading program would.
        const std::string drained = readFile(folder / "fifo");
        std::ofstream(folder / "drained", std::ios::binary) << drained;
        ::_exit(0);
    }
    {
        PendingFile file(folder / "fifo");
        file.write(std::string("through the pipe"));
        file.commit();
    }
    int status = 0;
    ::waitpid(reader, &status, 0);
    EXPECT_TRUE(fs::is_fifo(folder / "fifo"));
    EXPECT_EQ(readFile(folder / "drained"), "through the pipe");
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"drained", "fifo", "link.bin", "target.bin"}));
}

}  // namespace
}  // namespace huecl::pages
