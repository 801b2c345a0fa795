// Where `process` writes: a regular file is replaced whole, keeping its mode;
// anything else (a FIFO, a device) is written into and stays what it was; a
// link's target is written, or created when missing; a read-only file and the
// input itself are refused.
#include "ToolHarness.h"

#include "testplugin/TestPluginHandle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace tooltest;
using testplugin::TestPluginHandle;

namespace fs = std::filesystem;

namespace {

class OutputSafety : public ::testing::Test {
protected:
    void SetUp() override { writeSound(input, makeSignal(2, 4800)); }

    ToolRun process(const std::string& output, const std::vector<std::string>& options = {}) {
        std::vector<std::string> arguments{"process", TestPluginHandle::bundlePath("TestSeparate"), input,
                                           output};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runTool(arguments);
    }

    static struct stat statusOf(const std::string& path) {
        struct stat status {};
        EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
        return status;
    }

    static std::string contentsOf(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    ScratchFolder folder;
    const std::string input = folder.file("in.wav");
};

} // namespace

TEST_F(OutputSafety, FifoIsWrittenIntoAndStaysAFifo) {
    const std::string fifo = folder.file("fifo.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Opening the FIFO blocks until the tool opens it for writing.
    std::future<std::string> received = std::async(std::launch::async, [&] { return contentsOf(fifo); });
    const ToolRun run = process(fifo);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string sound = received.get();
    EXPECT_EQ(sound.substr(0, 4), "RIFF");
    EXPECT_GT(sound.size(), 4800u * 2 * sizeof(float));
    EXPECT_TRUE(S_ISFIFO(statusOf(fifo).st_mode));
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"fifo.wav", "in.wav"}));
}

TEST_F(OutputSafety, CharacterDeviceIsWrittenIntoAndStaysADevice) {
    // The null device's numbers, on a node of the test's own.
    const std::string device = folder.file("null");
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device node here (not root, or nodev)";
    const ToolRun run = process(device);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const struct stat status = statusOf(device);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
    EXPECT_EQ(status.st_rdev, makedev(1, 3));
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"in.wav", "null"}));
}

TEST_F(OutputSafety, LinkTargetIsReplacedKeepingItsModeOrCreatedAndTheLinkStays) {
    const std::string target = folder.file("target.wav");
    const std::string link = folder.file("link.wav");
    std::ofstream(target) << "old";
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    fs::create_symlink("target.wav", link);
    const ToolRun run = process(link);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readSound(target).frames(), 4800u);
    EXPECT_EQ(statusOf(target).st_mode & 07777, 0640u);

    const std::string dangling = folder.file("dangling.wav");
    fs::create_symlink("made.wav", dangling);
    ASSERT_EQ(process(dangling).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(readSound(folder.file("made.wav")).frames(), 4800u);
    EXPECT_EQ(folder.entries(),
              (std::vector<std::string>{"dangling.wav", "in.wav", "link.wav", "made.wav", "target.wav"}));
}

TEST_F(OutputSafety, ReadOnlyFileIsReplacedOnlyWithForce) {
    const std::string readOnly = folder.file("kept.wav");
    std::ofstream(readOnly) << "keep";
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    const ToolRun refused = process(readOnly);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("cannot write " + readOnly + ": it is read-only (--force replaces it)"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(contentsOf(readOnly), "keep");

    const ToolRun forced = process(readOnly, {"--force"});
    ASSERT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(readSound(readOnly).frames(), 4800u);
    EXPECT_EQ(statusOf(readOnly).st_mode & 07777, 0444u);
}

TEST_F(OutputSafety, InputNamedAsTheOutputIsRefused) {
    const std::string before = contentsOf(input);
    fs::create_symlink("in.wav", folder.file("alias.wav"));
    for (const std::string& output : {input, folder.file("alias.wav")}) {
        const ToolRun run = process(output, {"--set", "Gain=0.5"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("cannot write " + output + ": it is the input file"), std::string::npos)
            << run.err;
    }
    EXPECT_EQ(contentsOf(input), before);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"alias.wav", "in.wav"}));
}
