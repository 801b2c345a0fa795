// Where `process` writes: a regular file is replaced whole, keeping its mode;
// anything else (a FIFO, a device) is written into and stays what it was; a
// link's target is written; a read-only file is refused, and so is any path
// written that is a file read or written already.
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

TEST_F(OutputSafety, LinkTargetIsReplacedKeepingItsModeAndTheLinkStays) {
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
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"in.wav", "link.wav", "target.wav"}));
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

// Every path written is checked against every path read and every other one
// written, through links, before anything is written.
TEST_F(OutputSafety, WritesThatWouldLoseAFileAreRefusedWithBothNamed) {
    const std::string before = contentsOf(input);
    const std::string alias = folder.file("alias.wav"), out = folder.file("out.wav");
    const std::string preset = folder.file("p.vstpreset");
    fs::create_symlink("in.wav", alias);
    std::ofstream(preset) << "a preset";
    const std::string plugin = TestPluginHandle::bundlePath("TestSeparate");
    const std::vector<std::pair<std::vector<std::string>, std::string>> clashes{
        {{input, input}, "cannot write " + input + " (the output): it is the input file " + input},
        {{input, alias}, "cannot write " + alias + " (the output): it is the input file " + input},
        {{input, out, "--save-preset", alias},
         "cannot write " + alias + " (the --save-preset of " + plugin + "): it is the input file " + input},
        {{input, out, "--save-preset", out},
         "cannot write " + out + " (the --save-preset of " + plugin + "): it is also the output " + out},
        {{input, out, "--save-preset", preset, "--then", plugin, "--preset", preset},
         "cannot write " + preset + " (the --save-preset of plug-in 1 (" + plugin +
             ")): it is the --preset of plug-in 2 (" + plugin + ") " + preset},
        {{input, out, "--save-preset", preset, "--then", plugin, "--save-preset", preset},
         "cannot write " + preset + " (the --save-preset of plug-in 2 (" + plugin +
             ")): it is also the --save-preset of plug-in 1 (" + plugin + ") " + preset},
    };
    for (const auto& [arguments, message] : clashes) {
        std::vector<std::string> command{"process", plugin};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const ToolRun run = runTool(command);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "varnel-vst: error: " + message + "\n");
    }
    EXPECT_EQ(contentsOf(input), before);
    EXPECT_EQ(contentsOf(preset), "a preset");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"alias.wav", "in.wav", "p.vstpreset"}));
}
