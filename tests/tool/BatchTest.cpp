// `process --output-dir`: many files, several at a time, each reported; a bad
// file fails alone and leaves nothing behind.
#include "ToolHarness.h"

#include "testplugin/TestPluginHandle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace tooltest;
using testplugin::TestPluginHandle;

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
