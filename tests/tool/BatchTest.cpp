// `process --output-dir`: many files, several at a time, each reported; a bad
// file fails alone and leaves nothing behind; two inputs never share an output.
#include "ToolHarness.h"

#include "testplugin/TestPluginHandle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

using namespace tooltest;
using testplugin::TestPluginHandle;

namespace {

// Sanitizers would catch a plug-in's crash themselves and exit instead of dying of it.
const std::string kCrashesEndTheWorker =
    "ASAN_OPTIONS=${ASAN_OPTIONS}:handle_segv=0 TSAN_OPTIONS=${TSAN_OPTIONS}:handle_segv=0";

} // namespace

TEST(Batch, OneBadFileFailsAloneAndTheOthersAreWritten) {
    ScratchFolder folder;
    const Sound source = makeSignal(2, 4800);
    writeSound(folder.file("a.wav"), source);
    writeSound(folder.file("c.flac"), makeSignal(1, 2400, 48000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    std::ofstream(folder.file("b.wav")) << "not a sound file\n";
    const std::string out = folder.file("out");
    const std::string plugin = TestPluginHandle::bundlePath("TestSeparate");

    const ToolRun run = runTool({"process", plugin, "--output-dir", out, "--jobs", "2", "--set", "Gain=0.5",
                                 folder.file("a.wav"), folder.file("b.wav"), folder.file("c.flac")});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.out.find("failed  " + folder.file("b.wav") + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("3 files: 2 written, 1 failed\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("varnel-vst: error: cannot read " + folder.file("b.wav")), std::string::npos)
        << run.err;
    // Each output keeps its input's name and format; nothing else is left.
    const std::vector<std::string> written = testsupport::entriesOf(out);
    EXPECT_EQ(written, (std::vector<std::string>{"a.wav", "c.flac"}));
    const Sound a = readSound(out + "/a.wav");
    ASSERT_EQ(a.samples.size(), source.samples.size());
    for (std::size_t i = 0; i < a.samples.size(); ++i)
        ASSERT_EQ(a.samples[i], source.samples[i] * 0.5f) << i;
    EXPECT_EQ(readSound(out + "/c.flac").format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);

    // The first of two shards takes the first and third file: all good.
    const std::string shardOut = folder.file("shard");
    const ToolRun shard = runTool({"process", plugin, "--output-dir", shardOut, "--shard", "1/2",
                                   folder.file("a.wav"), folder.file("b.wav"), folder.file("c.flac")});
    EXPECT_EQ(shard.exitCode, 0) << shard.err;
    EXPECT_NE(shard.out.find("2 files: 2 written, 0 failed\n"), std::string::npos) << shard.out;
    // At gain 1 the plug-in leaves both files as they are: one note names both.
    const std::string unchanged = ": " + plugin + " passed every block of the input through unchanged";
    EXPECT_NE(shard.err.find("varnel-vst: note: 2 files (" + folder.file("a.wav") + ", " +
                             folder.file("c.flac") + ")" + unchanged),
              std::string::npos)
        << shard.err;
    EXPECT_EQ(shard.err.find(unchanged), shard.err.rfind(unchanged)) << shard.err;
    // Another machine's shell may list the files in another order: the shard is the same.
    const ToolRun reordered = runTool({"process", plugin, "--output-dir", folder.file("reordered"), "--shard",
                                       "1/2", folder.file("c.flac"), folder.file("a.wav")});
    EXPECT_EQ(reordered.exitCode, 0) << reordered.err;
    EXPECT_EQ(testsupport::entriesOf(folder.file("reordered")), std::vector<std::string>{"a.wav"});

    // Two inputs of one name from different folders would share an output: the
    // batch says so instead of one result replacing the other.
    std::filesystem::create_directory(folder.file("again"));
    writeSound(folder.file("again/a.wav"), source);
    const ToolRun clash = runTool({"process", plugin, "--output-dir", folder.file("clash"),
                                   folder.file("a.wav"), folder.file("again/a.wav")});
    EXPECT_NE(clash.exitCode, 0) << clash.out;
    EXPECT_NE(clash.err.find("varnel-vst: error: "), std::string::npos) << clash.err;
}

// Two inputs of one name would overwrite each other in the output folder: every
// shard refuses the batch, also when each holds only one of them.
TEST(Batch, ShardsRefuseInputsThatShareAnOutputName) {
    ScratchFolder folder;
    std::filesystem::create_directories(folder.file("one"));
    std::filesystem::create_directories(folder.file("two"));
    writeSound(folder.file("one/take.wav"), makeSignal(2, 480));
    writeSound(folder.file("two/take.wav"), makeSignal(2, 480));
    for (const std::string shard : {"1/2", "2/2"}) {
        const ToolRun run = runTool({"process", TestPluginHandle::bundlePath("TestSeparate"), "--output-dir",
                                     folder.file("out"), "--shard", shard, folder.file("one/take.wav"),
                                     folder.file("two/take.wav")});
        EXPECT_EQ(run.exitCode, 2) << shard;
        EXPECT_EQ(run.err, "varnel-vst: error: " + folder.file("one/take.wav") + " and " +
                               folder.file("two/take.wav") + " would both be written to " +
                               folder.file("out/take.wav") + "\n");
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("out")));
}

// A batch file renders as its own `process` run would, whatever the file before it
// left in the plug-in (this one keeps an echo through re-activation); a file the
// plug-in crashes on fails alone, leaves nothing, and the next file is rendered.
TEST(Batch, EveryFileEqualsItsOwnRunAndACrashFailsOnlyItsFile) {
    ScratchFolder folder;
    const std::string plugin = TestPluginHandle::bundlePath("TestKeepsSignal");
    Sound silence{48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::vector<float>(2 * 4800, 0.0f)};
    Sound broken = makeSignal(2, 4800);
    broken.samples[1000] = std::numeric_limits<float>::quiet_NaN();
    writeSound(folder.file("loud.wav"), makeSignal(2, 24000));
    writeSound(folder.file("silent.wav"), silence);
    writeSound(folder.file("broken.wav"), broken);
    writeSound(folder.file("after.wav"), silence);
    const std::vector<std::string> names{"loud.wav", "silent.wav", "broken.wav", "after.wav"};
    std::vector<std::string> batch{"process", plugin, "--output-dir", folder.file("out"),
                                   "--jobs",  "1",    "--tail",       "off"};
    for (const std::string& name : names)
        batch.push_back(folder.file(name));
    const ToolRun run = runTool(batch, {}, kCrashesEndTheWorker);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.out.find("failed  " + folder.file("broken.wav") + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("4 files: 3 written, 1 failed\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("varnel-vst: error: the plug-in's worker crashed (SIGSEGV) while rendering " +
                           folder.file("broken.wav") + "; " + folder.file("out/broken.wav") +
                           " was not written"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(testsupport::entriesOf(folder.file("out")),
              (std::vector<std::string>{"after.wav", "loud.wav", "silent.wav"}));
    for (const std::string name : {"loud.wav", "silent.wav", "after.wav"}) {
        const ToolRun alone =
            runTool({"process", plugin, folder.file(name), folder.file("alone.wav"), "--tail", "off"});
        ASSERT_EQ(alone.exitCode, 0) << alone.err;
        EXPECT_EQ(readSound(folder.file("out/" + name)).samples, readSound(folder.file("alone.wav")).samples)
            << name;
    }
}

// A worker killed outright (SIGKILL) in the middle of a file cannot remove its
// temporary file itself: the batch does.
TEST(Batch, AWorkerKilledOutrightMidFileLeavesNoTemporaryFile) {
    ScratchFolder folder;
    Sound broken = makeSignal(2, 4800);
    broken.samples[1000] = std::numeric_limits<float>::quiet_NaN();
    writeSound(folder.file("broken.wav"), broken);
    const ToolRun run = runTool({"process", TestPluginHandle::bundlePath("TestKilledOnNonFinite"),
                                 "--output-dir", folder.file("out"), folder.file("broken.wav")});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("worker crashed (SIGKILL) while rendering " + folder.file("broken.wav")),
              std::string::npos)
        << run.err;
    EXPECT_EQ(testsupport::entriesOf(folder.file("out")), std::vector<std::string>{});
}

// A worker that dies while loading the plug-in (here in GetPluginFactory) fails the
// batch with the reason: no file counted written or done.
TEST(Batch, AWorkerThatDiesLoadingThePluginFailsTheBatchWithTheReason) {
    ScratchFolder folder;
    writeSound(folder.file("a.wav"), makeSignal(2, 480));
    writeSound(folder.file("b.wav"), makeSignal(2, 480));
    const ToolRun run =
        runTool({"process", TestPluginHandle::bundlePath("TestFactoryCrashes"), "--output-dir",
                 folder.file("out"), "--jobs", "2", folder.file("a.wav"), folder.file("b.wav")},
                {}, kCrashesEndTheWorker);
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_EQ(run.errLines(),
              (std::vector<std::string>{"varnel-vst: error: could not load the plug-ins: their "
                                        "worker crashed (SIGSEGV) while loading them"}));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(testsupport::entriesOf(folder.file("out")), std::vector<std::string>{});
}

// A plug-in that refuses every call but process from a second thread (as the VST 3
// SDK's host checker does) renders a two-job batch: each worker makes all its
// plug-in calls on one thread.
TEST(Batch, AStrictThreadsPluginRendersATwoJobBatch) {
    ScratchFolder folder;
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        writeSound(folder.file(name), makeSignal(2, 4800));
    const ToolRun run = runTool({"process", TestPluginHandle::bundlePath("TestStrictThreads"), "--output-dir",
                                 folder.file("out"), "--jobs", "2", "--set", "Gain=0.5", folder.file("a.wav"),
                                 folder.file("b.wav"), folder.file("c.wav")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("3 files: 3 written, 0 failed\n"), std::string::npos) << run.out;
}

// On a terminal a batch shows the files done of all of them from its start, with
// the time elapsed and, once there is a pace, the time left.
TEST(Batch, OnATerminalItCountsFilesDoneFromItsStart) {
    ScratchFolder folder;
    std::string files;
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        writeSound(folder.file(name), makeSignal(2, 4800));
        files += " " + folder.file(name);
    }
    // script(1) gives the tool a terminal and keeps what it shows.
    const std::string shown = folder.file("terminal.txt");
    std::ofstream(folder.file("nothing.txt")).flush(); // its standard input
    const std::string command = "script -qec \"" VARNELVST_TOOL " process " +
                                TestPluginHandle::bundlePath("TestSeparate") + " --jobs 1 --output-dir " +
                                folder.file("out") + files + "\" " + shown + " <" +
                                folder.file("nothing.txt") + " >" + folder.file("out.txt");
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(shown);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(text.find("] 0/3 files, 0:00 elapsed"), std::string::npos) << text;
    EXPECT_NE(text.find("] 1/3 files, 0:00 elapsed, 0:00 left"), std::string::npos) << text;
    EXPECT_NE(text.find("3 files: 3 written, 0 failed"), std::string::npos) << text;
}
