// Parameters in the plug-in's own units and texts, converted by the plug-in.
#include "HostedTestPlugin.h"

#include <cmath>

using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTParameterRange;

using PlainValues = vsttest::HostedPluginTest;

TEST_F(PlainValues, ZamCompX2ThresholdInDecibelsTakesThePluginsOwnConversion) {
    VSTModule module;
    ASSERT_TRUE(module.loadPlugin("/usr/lib/vst3/ZamCompX2.vst3"));
    VSTParameterRange threshold;
    ASSERT_TRUE(module.getParameterRange(7, threshold));
    EXPECT_EQ(threshold.minPlain, -80.0);
    EXPECT_EQ(threshold.maxPlain, 0.0);
    EXPECT_EQ(threshold.units, "dB");
    EXPECT_TRUE(threshold.valueNames.empty());

    // -24 dB lies at 0.7 of -80..0; the plug-in sees the double, not a float near it.
    ASSERT_TRUE(module.setParameterPlain("Threshold", -24.0));
    EXPECT_EQ(module.getParameterValue(7), 0.7f);
    EXPECT_NEAR(module.getParameterPlain(7), -24.0, 1e-12);
    ASSERT_TRUE(module.getParameterRange(7, threshold));
    const std::string text = threshold.text;
    EXPECT_EQ(text.substr(0, 3), "-24") << text;

    ASSERT_TRUE(module.setParameterPlain("Threshold", -60.0));
    ASSERT_TRUE(module.setParameterByText("Threshold", text));
    EXPECT_NEAR(module.getParameterPlain(7), -24.0, 1e-12);

    EXPECT_FALSE(module.setParameterPlain("Threshold", 10.0));
    EXPECT_FALSE(module.setParameterPlain("Threshold", NAN));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"[VSTModule] Value out of range for Threshold: 10.000000",
                                        "[VSTModule] Value out of range for Threshold: nan"}));
    EXPECT_NEAR(module.getParameterPlain(7), -24.0, 1e-12);
}

TEST_F(PlainValues, SteppedParametersAnswerToThePluginsOwnValueNames) {
    VSTModule module;
    ASSERT_TRUE(module.loadPlugin("/usr/lib/vst3/ZamTube.vst3"));
    const auto parameters = module.getParameters();
    const auto toneStack = std::find_if(parameters.begin(), parameters.end(), [](const auto& parameter) {
        return parameter.name == "Tone Stack Model";
    });
    ASSERT_NE(toneStack, parameters.end());
    VSTParameterRange range;
    ASSERT_TRUE(module.getParameterRange(toneStack->id, range));
    ASSERT_EQ(range.valueNames.size(), 25u);
    EXPECT_EQ(range.valueNames[0], "1959 Bassman 5F6-A");
    EXPECT_EQ(range.valueNames[6], "JTM 45");

    ASSERT_TRUE(module.setParameterByValueName("Tone Stack Model", "JTM 45"));
    EXPECT_EQ(module.getParameterValue(toneStack->id), static_cast<float>(6.0 / 24.0));
    ASSERT_TRUE(module.getParameterRange(toneStack->id, range));
    EXPECT_EQ(range.text, "JTM 45");
    EXPECT_EQ(range.plain, 6.0);
    EXPECT_FALSE(module.setParameterByValueName("Tone Stack Model", "Marshall"));
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"[VSTModule] Tone Stack Model has no value named Marshall"});
    EXPECT_EQ(module.getParameterValue(toneStack->id), static_cast<float>(6.0 / 24.0));
}

TEST_F(PlainValues, TextThePluginCannotParseIsRefused) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    log.clear();
    plugin.probe().reset();
    EXPECT_FALSE(plugin.module->setParameterByText("Gain", "loud"));
    EXPECT_FALSE(plugin.module->setParameterByText("Gain", "3")); // parsed, but outside 0..1
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"[VSTModule] The plug-in did not take the text for Gain: loud",
                                        "[VSTModule] The plug-in did not take the text for Gain: 3"}));
    EXPECT_EQ(plugin.probe().count("setParamNormalized"), 0);
    ASSERT_TRUE(plugin.module->setParameterByText("Gain", "0.25"));
    EXPECT_EQ(plugin.module->getParameterValue(1), 0.25f);
}

TEST_F(PlainValues, EveryOwnStepNameSelectsItsStepUpToTheLastUnderBothStepRules) {
    ASSERT_TRUE(plugin.load("TestTwoWay"));
    // Program truncates (the SDK's lists), Choice rounds (JUCE's choices).
    for (const auto& [id, title] : {std::pair{5u, "Program"}, std::pair{6u, "Choice"}}) {
        VSTParameterRange range;
        ASSERT_TRUE(plugin.module->getParameterRange(id, range));
        ASSERT_EQ(range.valueNames.size(), 3u) << title;
        for (std::size_t step = range.valueNames.size(); step-- > 0;) {
            EXPECT_TRUE(plugin.module->setParameterByValueName(title, range.valueNames[step]))
                << title << ": " << range.valueNames[step];
            EXPECT_EQ(plugin.module->getParameterValue(id), static_cast<float>(step / 2.0)) << title;
        }
    }
    EXPECT_TRUE(log.lines().empty());
}
