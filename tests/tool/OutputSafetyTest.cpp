// Where `process` writes: a regular file is replaced whole, keeping its mode;
// anything else (a FIFO, a device) is written into and stays what it was; a
// link's target is written, or created when missing; a read-only file is refused,
// and so is any path written that is a file read or written already.
#include "ToolHarness.h"

#include "testplugin/TestPluginHandle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

// `seconds` of 8-bit mono at 4 kHz: an hour of sound in a small file.
void writeLongInput(const std::string& path, int seconds) {
    constexpr int kRate = 4000;
    SF_INFO info{0, kRate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> second(kRate);
    for (std::size_t i = 0; i < second.size(); ++i)
        second[i] = 0.5f * static_cast<float>(std::sin(static_cast<double>(i) * 0.3));
    for (int i = 0; i < seconds; ++i)
        sf_writef_float(file, second.data(), kRate);
    sf_close(file);
}

struct StreamedRun {
    int exitCode = -1;
    std::size_t bytes = 0;          // what reached the pipe
    long peakResidentKilobytes = 0; // of the tool's process
};

// Runs the tool with standard output into a pipe that this process drains.
StreamedRun streamToPipe(const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    EXPECT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> owned{VARNELVST_TOOL};
    owned.insert(owned.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : owned)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    EXPECT_EQ(::posix_spawn(&child, VARNELVST_TOOL, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    StreamedRun run;
    char buffer[1 << 16];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        run.bytes += static_cast<std::size_t>(got);
    ::close(pipeEnds[0]);
    int status = 0;
    struct rusage usage {};
    EXPECT_EQ(::wait4(child, &status, 0, &usage), child);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakResidentKilobytes = usage.ru_maxrss;
    return run;
}

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

// Every path written is checked against every path read and every other one
// written, through links, and a preset's folder for being there, before anything
// is written; by process and by edit.
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
        // Not a clash, but the preset would fail only after the render.
        {{input, out, "--save-preset", folder.file("none/p.vstpreset")},
         "cannot write " + folder.file("none/p.vstpreset") + " (the --save-preset of " + plugin +
             "): No such file or directory"},
    };
    for (const auto& [arguments, message] : clashes) {
        std::vector<std::string> command{"process", plugin};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const ToolRun run = runTool(command);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "varnel-vst: error: " + message + "\n");
    }
    // edit's preset, saved when it ends, is checked alike at its start.
    const std::vector<std::pair<std::vector<std::string>, std::string>> editClashes{
        {{"--input", input, "--save-preset", alias},
         "cannot write " + alias + " (the --save-preset): it is the --input file " + input},
        {{"--preset", preset, "--save-preset", preset},
         "cannot write " + preset + " (the --save-preset): it is the --preset " + preset},
    };
    for (const auto& [arguments, message] : editClashes) {
        std::vector<std::string> command{"edit", plugin};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const ToolRun run = runTool(command, {}, "DISPLAY=");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "varnel-vst: error: " + message + "\n");
    }
    EXPECT_EQ(contentsOf(input), before);
    EXPECT_EQ(contentsOf(preset), "a preset");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"alias.wav", "in.wav", "p.vstpreset"}));
}

// A stream gets the sound as it is rendered: an hour to a pipe needs no more
// memory than a second does (the file is 115 MB in stereo).
TEST_F(OutputSafety, AnHourStreamsToAPipeInBoundedMemory) {
    const std::string hour = folder.file("hour.wav"), second = folder.file("second.wav");
    writeLongInput(hour, 3600);
    writeLongInput(second, 1);
    const auto render = [](const std::string& in) {
        return streamToPipe({"process", TestPluginHandle::bundlePath("TestSeparate"), in, "-", "--subtype",
                             "float", "-c", "2"});
    };
    const StreamedRun brief = render(second);
    const StreamedRun whole = render(hour);
    ASSERT_EQ(whole.exitCode, 0);
    ASSERT_EQ(brief.exitCode, 0);
    EXPECT_EQ(whole.bytes - brief.bytes, std::size_t{3599} * 4000 * 2 * sizeof(float));
    EXPECT_LT(whole.peakResidentKilobytes - brief.peakResidentKilobytes, 16 * 1024)
        << whole.peakResidentKilobytes << " kB against " << brief.peakResidentKilobytes << " kB";
}
