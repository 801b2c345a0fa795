// `process --output-dir`: many files, several at a time, each reported; a bad
// file fails alone and leaves nothing behind; two inputs never share an output.
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

    // Two inputs of one name from different folders would share an output: the
    // batch says so instead of one result replacing the other.
    std::filesystem::create_directory(folder.file("again"));
    writeSound(folder.file("again/a.wav"), source);
    const ToolRun clash = runTool({"process", plugin, "--output-dir", folder.file("clash"),
                                   folder.file("a.wav"), folder.file("again/a.wav")});
    EXPECT_NE(clash.exitCode, 0) << clash.out;
    EXPECT_NE(clash.err.find("varnel-vst: error: "), std::string::npos) << clash.err;
}
