// Registration of the extension and node creation through the framework.
#include "VSTExtension.h"
#include "VSTProcessorNode.h"

#include <varnel/ExtensionManager.h>
#include <varnel/testing/LogCapture.h>

#include <gtest/gtest.h>

using varnel::ExtensionManager;
using varnel::LogCapture;
using varnel::VLAnyMap;
using varnel::extensions::vst::VSTExtension;
using varnel::extensions::vst::VSTProcessorNode;

class VSTExtensionTest : public ::testing::Test {
protected:
    void SetUp() override { ExtensionManager::getInstance().clearExtensions(); }
    void TearDown() override { ExtensionManager::getInstance().clearExtensions(); }
};

TEST_F(VSTExtensionTest, EachLoadRegistersOneMoreExtension) {
    VSTExtension::load();
    VSTExtension::load();
    const auto extensions = ExtensionManager::getInstance().getExtensions();
    ASSERT_EQ(extensions.size(), 2u);
    EXPECT_NE(extensions[0], extensions[1]);
    EXPECT_EQ(extensions[0]->getName(), "VST");
}

TEST_F(VSTExtensionTest, EveryFactoryIsNewAndServesOnlyTheExactTypeName) {
    VSTExtension::load();
    auto extension = ExtensionManager::getInstance().findExtension("VST");
    ASSERT_TRUE(extension);
    auto first = extension->getNodeFactory();
    auto second = extension->getNodeFactory();
    EXPECT_NE(first, second);
    EXPECT_EQ(first->getNodeTypePrefix(), "VST");

    LogCapture log;
    for (const char* type : {"vstprocessornode", "VSTProcessorNode ", "VST", "", "VSTPROCESSORNODE"})
        EXPECT_EQ(first->createNode(type, VLAnyMap{}), nullptr) << type;
    EXPECT_TRUE(log.lines().empty()) << "no load is attempted for a type it does not serve";
}

TEST_F(VSTExtensionTest, CreatedNodeHasAttemptedItsLoad) {
    VSTExtension::load();
    LogCapture log;
    auto missing = ExtensionManager::getInstance().createNode("VSTProcessorNode",
                                                              VLAnyMap{{"pluginFileName", "Missing.vst3"}});
    ASSERT_TRUE(missing);
    EXPECT_EQ(log.count("[VSTModule] Error loading plugin: "), 1u);

    log.clear();
    auto node = ExtensionManager::getInstance().createNode("VSTProcessorNode",
                                                           VLAnyMap{{"pluginFileName", "ZamCompX2.vst3"}});
    ASSERT_TRUE(node);
    auto* vstNode = dynamic_cast<VSTProcessorNode*>(node.get());
    ASSERT_NE(vstNode, nullptr);
    EXPECT_EQ(vstNode->getPluginParameters().size(), 14u);
    EXPECT_TRUE(log.lines().empty());
}
