// The file: device scheme: which URIs name which files, and what a job
// leaves there when printed through PAPPL's own device calls.
#include "file_device.h"

#include "pages/tests/temporary_folder.h"

#include <pappl/pappl.h>

#include <gtest/gtest.h>

namespace huecl::app {
namespace {

using pages::testing::readFile;
using pages::testing::TemporaryFolder;

TEST(FileUri, NamesLocalAbsolutePathsOnly) {
    EXPECT_EQ(pathOfFileUri("file:///tmp/out.hcr"), std::filesystem::path("/tmp/out.hcr"));
    EXPECT_EQ(pathOfFileUri("file:/tmp/out.hcr"), std::filesystem::path("/tmp/out.hcr"));
    EXPECT_EQ(pathOfFileUri("file://localhost/tmp/out.hcr"), std::filesystem::path("/tmp/out.hcr"));
    EXPECT_EQ(pathOfFileUri("file:///tmp/with%20space/x%2Fy"), std::filesystem::path("/tmp/with space/x/y"));
    EXPECT_EQ(pathOfFileUri("file:///tmp/out.hcr?query#part"), std::filesystem::path("/tmp/out.hcr"));
    EXPECT_FALSE(pathOfFileUri("file://printserver/tmp/out.hcr"));
    EXPECT_FALSE(pathOfFileUri("file:relative/out.hcr"));
    EXPECT_FALSE(pathOfFileUri("file:///tmp/a%00b"));
    EXPECT_FALSE(pathOfFileUri("socket://127.0.0.1:9100"));
}

TEST(FileUri, JobFilesStayInTheirFolderAndNeverReplaceAnother) {
    const TemporaryFolder folder;
    EXPECT_EQ(jobFileIn(folder.path(), "report.pdf"), folder / "report.pdf.hcr");
    EXPECT_EQ(jobFileIn(folder.path(), "../../etc/passwd").parent_path(), folder.path());
    EXPECT_EQ(jobFileIn(folder.path(), "").filename(), "job.hcr");
    folder.writeFile("photo.hcr", "x");
    folder.writeFile("photo-2.hcr", "x");
    EXPECT_EQ(jobFileIn(folder.path(), "photo"), folder / "photo-3.hcr");
}

class FileDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite() { addFileScheme(); }

    // Opens the URI through PAPPL, writes the bytes (none: no write at all)
    // and closes it again.
    static bool printThrough(const std::string& uri, const std::string& jobName, const std::string& bytes) {
        pappl_device_t* device = papplDeviceOpen(
            uri.c_str(), jobName.c_str(), [](const char*, void*) {}, nullptr);
        if (!device) return false;
        const bool written =
            bytes.empty() || papplDeviceWrite(device, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        papplDeviceClose(device);
        return written;
    }
};

TEST_F(FileDevice, AFileHoldsTheLastJob) {
    const TemporaryFolder folder;
    const std::string uri = "file://" + (folder / "printed.hcr").string();
    ASSERT_TRUE(printThrough(uri, "first", std::string(100000, 'a')));
    ASSERT_TRUE(printThrough(uri, "second", "second job"));
    EXPECT_EQ(readFile(folder / "printed.hcr"), "second job");
}

TEST_F(FileDevice, AFolderHoldsEveryJobInAFileOfItsOwn) {
    const TemporaryFolder folder;
    const std::string uri = "file://" + folder.path().string();
    ASSERT_TRUE(printThrough(uri, "page", "one"));
    ASSERT_TRUE(printThrough(uri, "page", "two"));
    EXPECT_EQ(readFile(folder / "page.hcr"), "one");
    EXPECT_EQ(readFile(folder / "page-2.hcr"), "two");
}

TEST_F(FileDevice, ADeviceThatPrintsNothingLeavesNothing) {
    // PAPPL opens the printer's device for a job that may print through
    // one of its own: the unused device neither adds an empty file to a
    // folder nor empties a printed file.
    const TemporaryFolder folder;
    ASSERT_TRUE(printThrough("file://" + folder.path().string(), "unused", ""));
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    const std::string file = "file://" + (folder / "printed.hcr").string();
    ASSERT_TRUE(printThrough(file, "printed", "kept"));
    ASSERT_TRUE(printThrough(file, "unused", ""));
    EXPECT_EQ(readFile(folder / "printed.hcr"), "kept");
}

TEST_F(FileDevice, AFolderThatGoesBeforeTheFirstWriteFailsThatWrite) {
    // The file is made at the first write: a folder removed after the
    // device opened fails the job there, not silently.
    const TemporaryFolder folder;
    const std::filesystem::path gone = folder / "gone";
    std::filesystem::create_directory(gone);
    std::string reported;
    pappl_device_t* device =
        papplDeviceOpen(("file://" + gone.string()).c_str(), "job",
                        [](const char* message, void* data) { *static_cast<std::string*>(data) = message; }, &reported);
    ASSERT_NE(device, nullptr);
    std::filesystem::remove(gone);
    const std::string bytes(100000, 'x');  // more than PAPPL buffers
    EXPECT_LT(papplDeviceWrite(device, bytes.data(), bytes.size()), 0);
    papplDeviceClose(device);
    EXPECT_NE(reported.find("Unable to open"), std::string::npos) << reported;
    EXPECT_FALSE(std::filesystem::exists(gone));
}

TEST_F(FileDevice, RefusesWhatItCannotWriteTo) {
    const TemporaryFolder folder;
    EXPECT_FALSE(printThrough("file://" + (folder / "missing" / "out.hcr").string(), "job", "x"));
    EXPECT_FALSE(printThrough("file:relative.hcr", "job", "x"));
}

}  // namespace
}  // namespace huecl::app
