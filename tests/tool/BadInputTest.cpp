// Every kind of bad input ends the same way: one error line that names the
// problem (after the library's own report, if it has one), a non-zero exit, and
// nothing left where the output would have gone.
// Asking for help or the version is no error.
#include "ToolHarness.h"

#include "testplugin/TestPluginHandle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

using namespace tooltest;
using testplugin::TestPluginHandle;

namespace {

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        input = folder.file("in.wav");
        output = folder.file("out.wav");
        writeSound(input, makeSignal(2, 4800));
    }

    // Runs process and checks the common outcome; returns the error line.
    std::string expectRefused(const std::string& plugin, const std::string& in, const std::string& out,
                              const std::vector<std::string>& options, int exitCode) {
        std::vector<std::string> arguments{"process", plugin, in, out};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.exitCode, exitCode) << run.err;
        // The tool's one error line comes last; lines before it can only be the
        // library's own reports.
        const std::vector<std::string> lines = run.errLines();
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            EXPECT_EQ(lines[i].rfind("[VST", 0), 0u) << run.err;
        EXPECT_EQ(lines.empty() ? std::string() : lines.back().substr(0, 19), "varnel-vst: error: ")
            << run.err;
        // Only the files the test made: no output, no temporary file beside it.
        EXPECT_EQ(folder.entries(), inputsOnly) << run.err;
        return lines.empty() ? std::string() : lines.back();
    }

    std::string refused(const std::vector<std::string>& options, int exitCode) {
        return expectRefused(gainPlugin, input, output, options, exitCode);
    }

    static bool mentions(const std::string& line, const std::string& text) {
        return line.find(text) != std::string::npos;
    }

    ScratchFolder folder;
    std::string input;
    std::string output;
    std::vector<std::string> inputsOnly{"in.wav"};
    const std::string gainPlugin = TestPluginHandle::bundlePath("TestSeparate");
};

} // namespace

TEST_F(BadInput, UnknownPluginName) {
    const std::string line = expectRefused("NoSuchPlugin", input, output, {}, 1);
    EXPECT_TRUE(mentions(line, "unknown plug-in NoSuchPlugin: no NoSuchPlugin.vst3 in /usr/lib/vst3/"))
        << line;
}

TEST_F(BadInput, UnknownPluginPath) {
    const std::string line = expectRefused(folder.file("Missing.vst3"), input, output, {}, 1);
    EXPECT_TRUE(mentions(line, "unknown plug-in " + folder.file("Missing.vst3") + ": no such file")) << line;
}

TEST_F(BadInput, PluginWithoutModuleEntryFailsToLoad) {
    const std::string plugin = TestPluginHandle::bundlePath("TestNoEntry");
    const std::string line = expectRefused(plugin, input, output, {}, 1);
    EXPECT_TRUE(mentions(line, "could not load " + plugin + ": Error loading plugin")) << line;
}

TEST_F(BadInput, PluginWhoseComponentFailsToInitialiseFailsToLoad) {
    const std::string plugin = TestPluginHandle::bundlePath("TestInitFails");
    const std::string line = expectRefused(plugin, input, output, {}, 1);
    EXPECT_TRUE(mentions(line, "could not load " + plugin + ": Could not initialize")) << line;
}

TEST_F(BadInput, PluginThatRefusesActivation) {
    const std::string plugin = TestPluginHandle::bundlePath("TestRefuseActivation");
    const std::string line = expectRefused(plugin, input, output, {}, 1);
    EXPECT_TRUE(mentions(line, "could not set " + plugin + " up for 48000 Hz stereo: the plug-in refused"))
        << line;
}

// An instrument beside an effect in one bundle: the instrument, chosen or loaded
// by default, would make silence of the sound; the effect renders.
TEST_F(BadInput, InstrumentIsRefusedAndItsBundlesEffectRenders) {
    const std::string plugin = TestPluginHandle::bundlePath("TestWithInstrument");
    const std::string refusal = "varnel-vst: error: " + plugin +
                                ": TestWithInstrument Synth is an instrument; varnel-vst runs effects only";
    EXPECT_EQ(expectRefused(plugin, input, output, {}, 1),
              refusal + " (choose one of its effects with --class: TestWithInstrument Fx)");
    EXPECT_EQ(expectRefused(plugin, input, output, {"--class", "TestWithInstrument Synth"}, 1), refusal);
    const ToolRun effect = runTool({"process", plugin, input, output, "--class", "TestWithInstrument Fx"});
    EXPECT_EQ(effect.exitCode, 0) << effect.err;
}

TEST_F(BadInput, PluginThatFailsItsBlocksLeavesNoOutput) {
    // The output file is open and written when the failures are found.
    const std::string plugin = TestPluginHandle::bundlePath("TestProcessFalse");
    const std::string line = expectRefused(plugin, input, output, {}, 1);
    EXPECT_TRUE(mentions(line, "reported a processing failure in 5 of 5 blocks of " + input)) << line;
}

// As in a batch: a plug-in that crashes the render is one line naming it and the
// signal (this one crashes on a NaN), not a bare signal death.
TEST_F(BadInput, PluginThatCrashesTheRenderIsNamedWithTheSignal) {
    Sound broken = makeSignal(2, 4800);
    broken.samples[1000] = std::numeric_limits<float>::quiet_NaN();
    writeSound(input, broken);
    const std::string plugin = TestPluginHandle::bundlePath("TestKeepsSignal");
    // Sanitizers would catch the crash themselves and exit instead of dying of it.
    const ToolRun run =
        runTool({"process", plugin, input, output}, {},
                "ASAN_OPTIONS=${ASAN_OPTIONS}:handle_segv=0 TSAN_OPTIONS=${TSAN_OPTIONS}:handle_segv=0");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "varnel-vst: error: " + plugin + " crashed (SIGSEGV) while rendering " + input + "; " +
                           output + " was not written\n");
    EXPECT_EQ(folder.entries(), inputsOnly);
}

// Killed outright (this one kills its own process on a NaN), the render cannot
// remove a temporary file: it had none with a name to leave behind.
TEST_F(BadInput, RenderKilledOutrightLeavesNoTemporaryFile) {
    Sound broken = makeSignal(2, 4800);
    broken.samples[1000] = std::numeric_limits<float>::quiet_NaN();
    writeSound(input, broken);
    const std::string plugin = TestPluginHandle::bundlePath("TestKilledOnNonFinite");
    const ToolRun run = runTool({"process", plugin, input, output});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "varnel-vst: error: " + plugin + " crashed (SIGKILL) while rendering " + input + "; " +
                           output + " was not written\n");
    EXPECT_EQ(folder.entries(), inputsOnly);
}

TEST_F(BadInput, MissingInputFile) {
    const std::string line = expectRefused(gainPlugin, folder.file("missing.wav"), output, {}, 1);
    EXPECT_TRUE(mentions(line, "cannot read " + folder.file("missing.wav") + ": ")) << line;
}

TEST_F(BadInput, InputThatIsNoSoundFile) {
    std::ofstream(folder.file("notes.txt")) << "not a sound file\n";
    inputsOnly = {"in.wav", "notes.txt"};
    const std::string line = expectRefused(gainPlugin, folder.file("notes.txt"), output, {}, 1);
    EXPECT_TRUE(mentions(line, "cannot read " + folder.file("notes.txt") + ": ")) << line;
}

TEST_F(BadInput, UnknownParameterTitle) {
    const std::string line = refused({"--set", "Gain=0.5", "--set", "Volume=0.5"}, 2);
    EXPECT_TRUE(mentions(line, "unknown parameter 'Volume' in '--set Volume=0.5'")) << line;
}

TEST_F(BadInput, UnknownParameterId) {
    const std::string line = refused({"--set-id", "99=0.5"}, 2);
    EXPECT_TRUE(mentions(line, "unknown parameter id 99")) << line;
}

TEST_F(BadInput, UnknownParameterForValueNames) {
    const std::string line = refused({"--value-names", "Volume=a,b", "--set", "Volume=@a"}, 2);
    EXPECT_TRUE(mentions(line, "unknown parameter 'Volume'")) << line;
}

TEST_F(BadInput, ValueNamesThatDoNotFitTheSteps) {
    // Mode has two steps, so three values.
    const std::string line = refused({"--value-names", "Mode=a,b"}, 2);
    EXPECT_TRUE(mentions(line, "Mode has 3 values but 2 names were given")) << line;
}

TEST_F(BadInput, ValueNameNeitherGivenNorThePluginsOwn) {
    const std::string line = refused({"--value-names", "Mode=a,b,c", "--set", "Mode=@d"}, 2);
    EXPECT_TRUE(mentions(line, "'--set Mode=@d': Mode has no value named d")) << line;
    EXPECT_TRUE(mentions(refused({"--set", "Mode=@a"}, 2), "Mode has no value named a"));
}

TEST_F(BadInput, ReadOnlyParameterIsRefusedAlikeWhicheverWaySet) {
    // Meter (id 3) is the plug-in's output.
    for (const std::vector<std::string>& setting : {std::vector<std::string>{"--set", "Meter=0.5"},
                                                    {"--set-id", "3=0.5"},
                                                    {"--set-plain", "Meter=0.5"},
                                                    {"--set-text", "Meter=0.5"}}) {
        const std::string line = refused(setting, 2);
        EXPECT_TRUE(mentions(line, "': Read-only parameter not set: ")) << line;
    }
}

TEST_F(BadInput, ValuesOutsideTheNormalisedRange) {
    for (const std::string value : {"1.5", "-0.1", "1e3"}) {
        const std::string line = refused({"--set", "Gain=" + value}, 2);
        EXPECT_TRUE(mentions(line, "value '" + value + "' in '--set Gain=" + value + "' lies outside [0, 1]"))
            << line;
    }
    EXPECT_TRUE(mentions(refused({"--set-id", "1=2"}, 2), "lies outside [0, 1]"));
}

TEST_F(BadInput, ValuesThatAreNotNumbers) {
    for (const std::string value : {"loud", "0.5x", "", " 0.5", "nan", "inf"}) {
        const std::string line = refused({"--set", "Gain=" + value}, 2);
        EXPECT_TRUE(mentions(line, "value '" + value + "' in '--set Gain=" + value + "' is not a number"))
            << line;
    }
}

TEST_F(BadInput, OutputInAMissingFolder) {
    const std::string missing = folder.file("no/such/folder/out.wav");
    const std::string line = expectRefused(gainPlugin, input, missing, {}, 1);
    EXPECT_TRUE(mentions(line, "cannot write " + missing + ": No such file or directory")) << line;
}

TEST_F(BadInput, OutputThatIsAFolder) {
    std::filesystem::create_directory(folder.file("folder.wav"));
    inputsOnly = {"folder.wav", "in.wav"};
    const std::string line = expectRefused(gainPlugin, input, folder.file("folder.wav"), {}, 1);
    EXPECT_TRUE(mentions(line, "cannot write " + folder.file("folder.wav") + ": it is a folder")) << line;
}

TEST_F(BadInput, MoreThanTwoChannels) {
    writeSound(input, makeSignal(3, 4800));
    const std::string line = refused({}, 1);
    EXPECT_TRUE(mentions(line, "has 3 channels; varnel-vst processes mono and stereo files only")) << line;
}

TEST_F(BadInput, FormatThatCannotHoldTheSamples) {
    const std::string line = refused({"--format", "flac", "--subtype", "float"}, 2);
    EXPECT_TRUE(mentions(line, "libsndfile cannot write FLAC")) << line;
}

TEST_F(BadInput, CommandLinesThatMakeNoSense) {
    EXPECT_TRUE(mentions(refused({"--volume", "3"}, 2), "unknown option '--volume' for process"));
    EXPECT_TRUE(mentions(refused({"--sett", "Gain=0.5"}, 2),
                         "unknown option '--sett' for process (did you mean '--set'?)"));
    EXPECT_TRUE(mentions(refused({"--block", "0"}, 2), "--block: Value 0 not in range 1 to"));
    EXPECT_TRUE(mentions(refused({"--block", "many"}, 2), "--block: Value many not in range 1 to"));
    EXPECT_TRUE(mentions(refused({"--set", "Gain"}, 2), "--set takes NAME=VALUE"));
    EXPECT_TRUE(mentions(refused({"--format", "mp3"}, 2), "--format: mp3 not in {aiff,flac,ogg,wav}"));
    EXPECT_TRUE(mentions(refused({"--set"}, 2), "--set: 1 required NAME=VALUE missing"));
    EXPECT_TRUE(mentions(refused({"extra"}, 2), "process takes one input and one output file"));
    EXPECT_TRUE(mentions(refused({"--jobs", "2"}, 2), "--jobs belong to a batch with --output-dir"));

    const ToolRun unknown = runTool({"transmogrify"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err, "varnel-vst: error: unknown command 'transmogrify' (see varnel-vst --help)\n");
    EXPECT_NE(runTool({"proces"}).err.find("unknown command 'proces' (did you mean 'process'?)"),
              std::string::npos);
    const ToolRun missing = runTool({"process", gainPlugin, input});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.errLines().size(), 1u) << missing.err;
}

TEST(CommandLine, HelpAndVersionSucceedAndWriteNothing) {
    ScratchFolder folder;
    const std::vector<std::vector<std::string>> asks{{},
                                                     {"help"},
                                                     {"--help"},
                                                     {"plugins", "--help"},
                                                     {"params", "-h"},
                                                     {"process", "--help"},
                                                     {"demo", "--help"}};
    for (const std::vector<std::string>& arguments : asks) {
        const ToolRun run = runTool(arguments, folder.path());
        const std::string command = arguments.size() == 2 ? arguments.front() + " " : "";
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find("Usage: varnel-vst " + command + "[OPTIONS]"), std::string::npos) << run.out;
        EXPECT_EQ(run.err, "");
    }
    EXPECT_TRUE(folder.entries().empty());
    const ToolRun version = runTool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "varnel-vst " VARNELVST_VERSION "\n");
}
