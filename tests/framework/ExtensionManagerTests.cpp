#include <gtest/gtest.h>

#include <stdexcept>

#include "varnel/ExtensionManager.h"
#include "varnel/testing/LogCapture.h"

using namespace varnel;

namespace {

class FakeNode : public Node {
public:
    FakeNode(std::string type, std::string maker) : madeBy(std::move(maker)) { typeName = std::move(type); }
    std::string madeBy;
};

// Serves one node type; the overrides are private, as real factories keep them.
class FakeFactory : public NodeFactory {
public:
    FakeFactory(std::string type, std::string maker) : type(std::move(type)), maker(std::move(maker)) {}

private:
    std::string getNodeTypePrefix() override { return "Fake"; }
    Node* createNode(const std::string& requested, const VLAnyMap&) override {
        if (requested == "FakeThrowing") {
            throw std::runtime_error("constructor failed");
        }
        return requested == type ? new FakeNode(requested, maker) : nullptr;
    }
    std::string type;
    std::string maker;
};

class FakeExtension : public Extension {
public:
    FakeExtension(std::string name, std::string nodeType)
        : name(std::move(name)), nodeType(std::move(nodeType)) {}
    std::string getName() override { return name; }
    std::shared_ptr<NodeFactory> getNodeFactory() override {
        return std::make_shared<FakeFactory>(nodeType, name);
    }

private:
    std::string name;
    std::string nodeType;
};

class ExtensionManagerTest : public ::testing::Test {
protected:
    void SetUp() override { manager.clearExtensions(); }
    void TearDown() override { manager.clearExtensions(); }
    ExtensionManager& manager = ExtensionManager::getInstance();
};

} // namespace

TEST_F(ExtensionManagerTest, CreatesNodeFromTheNewestExtensionServingTheType) {
    manager.registerExtension(std::make_shared<FakeExtension>("old", "FakeNode"));
    manager.registerExtension(std::make_shared<FakeExtension>("new", "FakeNode"));
    manager.registerExtension(std::make_shared<FakeExtension>("unrelated", "OtherNode"));

    const std::unique_ptr<Node> node = manager.createNode("FakeNode", {{"key", "value"}});
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getTypeName(), "FakeNode");
    EXPECT_EQ(node->getDisplayName(), "FakeNode");
    EXPECT_EQ(static_cast<FakeNode&>(*node).madeBy, "new");
}

TEST_F(ExtensionManagerTest, UnservedOrThrowingTypeGivesNullAndALogLine) {
    manager.registerExtension(std::make_shared<FakeExtension>("fake", "FakeNode"));
    LogCapture capture;
    EXPECT_EQ(manager.createNode("fakenode", {}), nullptr);
    EXPECT_EQ(manager.createNode("FakeThrowing", {}), nullptr);
    EXPECT_EQ(capture.count("fakenode"), 1u);
    EXPECT_EQ(capture.count("constructor failed"), 1u);
}

TEST_F(ExtensionManagerTest, KeepsRegistrationOrderAndFindsTheLastOfAName) {
    auto first = std::make_shared<FakeExtension>("VST", "A");
    auto second = std::make_shared<FakeExtension>("VST", "B");
    manager.registerExtension(first);
    manager.registerExtension(second);
    manager.registerExtension(nullptr);

    EXPECT_EQ(manager.getExtensions(), (std::vector<std::shared_ptr<Extension>>{first, second}));
    EXPECT_EQ(manager.findExtension("VST"), second);
    EXPECT_EQ(manager.findExtension("vst"), nullptr);
    manager.clearExtensions();
    EXPECT_TRUE(manager.getExtensions().empty());
}
