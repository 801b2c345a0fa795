// VSTProcessorNode keeps its plug-in's state in its configuration ("pluginState"),
// so that a graph saved and loaded again sounds the same.
#include "NodeTestSupport.h"
#include "VSTProcessorNode.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>

using nodetest::BusBuffers;
using varnel::VLAny;
using varnel::VLAnyMap;
using varnel::extensions::vst::VSTProcessorNode;

namespace {

// 20 blocks of a loud sine through `node`, left channels appended.
std::vector<float> render(VSTProcessorNode& node) {
    BusBuffers in(2, 512), out(2, 512);
    varnel::AudioBusList inputs{in.bus}, outputs{out.bus};
    std::vector<float> rendered;
    for (int block = 0; block < 20; ++block) {
        for (int i = 0; i < 512; ++i)
            in.samples[0][i] = in.samples[1][i] =
                0.9f * std::sin(0.05f * static_cast<float>(block * 512 + i));
        EXPECT_TRUE(node.process(inputs, outputs));
        rendered.insert(rendered.end(), out.samples[0].begin(), out.samples[0].end());
    }
    return rendered;
}

VLAnyMap configuration(const std::string& state) {
    return VLAnyMap{{"pluginFileName", "ZamCompX2.vst3"}, {"pluginState", state}};
}

} // namespace

using VSTProcessorNodeState = nodetest::ProcessorNodeTest;

TEST_F(VSTProcessorNodeState, ASavedGraphRestoresThePluginsSettings) {
    VSTProcessorNode original(VLAnyMap{{"pluginFileName", "ZamCompX2.vst3"}});
    ASSERT_TRUE(original.setPluginParameter(std::string("Threshold"), 0.5f));
    ASSERT_TRUE(original.setPluginParameter(std::string("Ratio"), 1.0f));
    const std::vector<float> expected = render(original);
    const varnel::Result<VLAny> saved = original.getValue("pluginState");
    ASSERT_TRUE(saved.ok()) << saved.error();
    const std::string text = saved.value().as<std::string>().value_or("");

    VSTProcessorNode restored(configuration(text));
    EXPECT_EQ(restored.getConfiguration("pluginState")->at("value"), VLAny(text));
    EXPECT_EQ(render(restored), expected);

    // Set later through the configuration, and through a preset file.
    VSTProcessorNode later(VLAnyMap{{"pluginFileName", "ZamCompX2.vst3"}});
    ASSERT_TRUE(later.setValue("pluginState", text).ok());
    EXPECT_EQ(render(later), expected);
    const auto preset =
        std::filesystem::temp_directory_path() / ("varnelvst-node-" + std::to_string(getpid()));
    ASSERT_TRUE(original.savePluginPreset(preset.string()));
    VSTProcessorNode fromPreset(VLAnyMap{{"pluginFileName", "ZamCompX2.vst3"}});
    ASSERT_TRUE(fromPreset.loadPluginPreset(preset.string()));
    std::filesystem::remove(preset);
    EXPECT_EQ(render(fromPreset), expected);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(fromPreset.getPluginState(bytes));
    ASSERT_TRUE(restored.setPluginState(bytes));
    expectNothingLogged();
}

TEST_F(VSTProcessorNodeState, GarbageStateTextIsRefusedAndThePluginKeepsItsDefaults) {
    VSTProcessorNode plain(VLAnyMap{{"pluginFileName", "ZamCompX2.vst3"}});
    const std::vector<float> defaults = render(plain);

    VSTProcessorNode notBase64(configuration("not base64 at all!"));
    VSTProcessorNode notAState(configuration("bm9pc2U=")); // "noise"
    EXPECT_TRUE(notBase64.getIsPluginLoaded());
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"[VSTProcessorNode] Invalid plugin state: not base64 text",
                                        "[VSTModule] Refused plug-in state: not a VST 3 preset"}));
    EXPECT_EQ(render(notBase64), defaults);
    EXPECT_EQ(render(notAState), defaults);

    // Refused later too, and the configured text stays what it was.
    EXPECT_FALSE(plain.setValue("pluginState", "%%%%").ok());
    EXPECT_FALSE(plain.setValue("pluginState", 3).ok());
    EXPECT_EQ(plain.getConfiguration("pluginState")->at("value"), VLAny(""));
}
