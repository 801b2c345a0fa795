// varnel-vst edit on a headless X display: ZamCompX2's own editor in a window of
// the size it asked for, drawn, set by a mouse drag, and its state saved
// however the window ends.
#include "ToolHarness.h"
#include "VirtualDisplay.h"

#include "VSTModule.h"
#include "testplugin/TestPluginHandle.h"
#include "testsupport/InstalledPlugins.h"

#include <varnel/testing/LogCapture.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <iomanip>
#include <sstream>

using namespace tooltest;
using varnel::extensions::vst::VSTModule;

namespace {

// ZamCompX2's Threshold (id 7): at its default of 0 dB, the top of its range.
constexpr unsigned kThreshold = 7;
// Where its knob sits in the editor, which fills the window from the top left.
constexpr int kThresholdKnobX = 213;
constexpr int kThresholdKnobY = 75;

#define START_DISPLAY(display)                                                                               \
    VirtualDisplay display;                                                                                  \
    if (!display.started())                                                                                  \
    GTEST_SKIP() << display.failure()

// The normalised Threshold a preset holds, as the library restores it.
float thresholdIn(const std::string& preset) {
    VSTModule module;
    EXPECT_TRUE(module.loadPlugin(testsupport::installedBundle("ZamCompX2")));
    EXPECT_TRUE(module.loadPreset(preset)) << preset;
    return module.getParameterValue(kThreshold);
}

float largestDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size())
        return 1.0f;
    float largest = 0.0f;
    for (std::size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

} // namespace

TEST(EditCommand, ShowsZamCompX2sEditorAtItsSizeDrawnAndADragInItReachesTheSavedPreset) {
    START_DISPLAY(display);
    const ScratchFolder folder;
    writeSound(folder.file("in.wav"), makeSignal(2, 24000));
    BackgroundTool tool({"edit", "ZamCompX2", "--input", folder.file("in.wav"), "--save-preset",
                         folder.file("dialled.vstpreset")},
                        display.name(), folder.file(""));
    const Window window = display.waitForWindow("ZamCompX2");
    ASSERT_NE(window, 0u) << tool.err();

    // The plug-in's own window fills ours: ours took the size the plug-in asked for.
    const std::vector<Window> children = display.childrenOf(window);
    ASSERT_EQ(children.size(), 1u);
    const std::pair<int, int> editorSize = display.sizeOf(children[0]);
    EXPECT_EQ(display.sizeOf(window), editorSize);
    EXPECT_NE(editorSize, (std::pair<int, int>{320, 240})) << "still the size the window was made with";
    EXPECT_NE(tool.out().find("in a " + std::to_string(editorSize.first) + "x" +
                              std::to_string(editorSize.second) + " window"),
              std::string::npos)
        << tool.out();

    // Drawn: a picture of it holds the knobs' colours, not one flat colour. It is
    // kept in the build tree for the README.
    const std::string picture = std::string(VARNELVST_SCREENSHOT_DIR) + "/edit-ZamCompX2.png";
    int colours = 0;
    for (int attempt = 0; attempt < 50 && colours < 100; ++attempt)
        colours = display.screenshot(window, picture);
    EXPECT_GE(colours, 100) << "the editor was not drawn";

    // Down by 30 pixels turns the knob down from the top of its range.
    ASSERT_TRUE(display.xdotool("mousemove " + std::to_string(kThresholdKnobX) + " " +
                                std::to_string(kThresholdKnobY) + " sleep 0.2 mousedown 1 sleep 0.1" +
                                " mousemove_relative 0 10 sleep 0.1 mousemove_relative 0 10 sleep 0.1" +
                                " mousemove_relative 0 10 sleep 0.2 mouseup 1 sleep 0.2"));
    display.askToClose(window);
    EXPECT_EQ(tool.waitForExit(), 0) << tool.err();
    EXPECT_NE(tool.out().find("Saved ZamCompX2's state to"), std::string::npos) << tool.out();

    varnel::LogCapture log;
    const float dialled = thresholdIn(folder.file("dialled.vstpreset"));
    EXPECT_LT(dialled, 0.99f) << "the drag did not reach the saved state";
    EXPECT_GT(dialled, 0.5f);

    // process --preset renders with it: as with the value set by hand.
    const ToolRun byPreset = runTool({"process", "ZamCompX2", "--preset", folder.file("dialled.vstpreset"),
                                      folder.file("in.wav"), folder.file("preset.wav")});
    std::ostringstream value;
    value << std::setprecision(9) << dialled;
    const ToolRun byValue = runTool({"process", "ZamCompX2", "--set-id", "7=" + value.str(),
                                     folder.file("in.wav"), folder.file("value.wav")});
    ASSERT_EQ(byPreset.exitCode, 0) << byPreset.err;
    ASSERT_EQ(byValue.exitCode, 0) << byValue.err;
    const ToolRun byDefault =
        runTool({"process", "ZamCompX2", folder.file("in.wav"), folder.file("default.wav")});
    ASSERT_EQ(byDefault.exitCode, 0) << byDefault.err;
    const std::vector<float> dialledSound = readSound(folder.file("preset.wav")).samples;
    // The preset keeps the value in its own precision, so the two differ a little.
    EXPECT_LT(largestDifference(dialledSound, readSound(folder.file("value.wav")).samples), 1e-4f);
    EXPECT_GT(largestDifference(dialledSound, readSound(folder.file("default.wav")).samples), 0.01f);
}

TEST(EditCommand, SavesTheStateWhenTheWindowIsDestroyedOrASignalEndsIt) {
    START_DISPLAY(display);
    for (const std::string way : {"destroyed", "SIGTERM", "SIGINT"}) {
        const ScratchFolder folder;
        BackgroundTool tool({"edit", "ZamCompX2", "--save-preset", folder.file("state.vstpreset")},
                            display.name(), folder.file(""));
        const Window window = display.waitForWindow("ZamCompX2");
        ASSERT_NE(window, 0u) << way << ": " << tool.err();
        if (way == "destroyed")
            display.destroy(window);
        else
            tool.signal(way == "SIGTERM" ? SIGTERM : SIGINT);
        EXPECT_EQ(tool.waitForExit(), 0) << way << ": " << tool.err();
        varnel::LogCapture log;
        EXPECT_EQ(thresholdIn(folder.file("state.vstpreset")), 1.0f) << way;
    }
}

TEST(EditCommand, APluginWithoutAnEditorAnInstrumentAndAMissingDisplayAreOneLineEach) {
    START_DISPLAY(display);
    const ScratchFolder folder;
    const std::string plugin = testplugin::TestPluginHandle::bundlePath("TestSeparate");
    BackgroundTool noEditor({"edit", plugin}, display.name(), folder.file(""));
    EXPECT_EQ(noEditor.waitForExit(), 1);
    EXPECT_EQ(noEditor.err(),
              "varnel-vst: error: " + plugin + " has no editor that opens in an X11 window\n");

    // --class chooses as in process; an instrument is refused.
    const std::string bundle = testplugin::TestPluginHandle::bundlePath("TestWithInstrument");
    BackgroundTool instrument({"edit", bundle, "--class", "TestWithInstrument Synth"}, display.name(),
                              folder.file(""));
    EXPECT_EQ(instrument.waitForExit(), 1);
    EXPECT_EQ(instrument.err(),
              "varnel-vst: error: " + bundle +
                  ": TestWithInstrument Synth is an instrument; varnel-vst runs effects only\n");
    BackgroundTool effect({"edit", bundle, "--class", "TestWithInstrument Fx"}, display.name(),
                          folder.file(""));
    EXPECT_EQ(effect.waitForExit(), 1);
    EXPECT_EQ(effect.err(), "varnel-vst: error: " + bundle + " has no editor that opens in an X11 window\n");

    const ToolRun noDisplay = runTool({"edit", "ZamCompX2"}, {}, "DISPLAY=");
    EXPECT_EQ(noDisplay.exitCode, 1);
    EXPECT_EQ(noDisplay.errLines(),
              (std::vector<std::string>{"varnel-vst: error: cannot open the X display: "
                                        "DISPLAY is not set; the editor needs a desktop"}));
}
