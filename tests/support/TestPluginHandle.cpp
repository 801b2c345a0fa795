#include "testplugin/TestPluginHandle.h"

#include "testsupport/SharedLibrary.h"

namespace testplugin {
namespace {

// Answers for a library that did not load, so a test reports the load failure
// instead of crashing on a null probe.
class EmptyProbe final : public TestPluginProbe {
public:
    std::vector<CallRecord> calls() const override { return {}; }
    std::vector<std::string> violations() const override { return {}; }
    std::int64_t processCount() const override { return 0; }
    std::vector<ProcessRecord> lastProcesses(std::size_t) const override { return {}; }
    std::vector<QueuePoint> queuePoints() const override { return {}; }
    int count(const std::string&) const override { return 0; }
    int liveObjects() const override { return 0; }
    void reset() override {}
    void holdBlocks(bool) override {}
    bool blockHeld() const override { return false; }
    bool changeLatency(std::uint32_t) override { return false; }
    bool requestRestart(std::int32_t) override { return false; }
    bool performEdit(std::uint32_t, double) override { return false; }
    EditorActivity editorActivity() const override { return {}; }
    bool wakeEditor() override { return false; }
    bool editFromEditor(std::uint32_t, double) override { return false; }
    bool resizeFromEditor(int, int) override { return false; }
};

EmptyProbe emptyProbe;

} // namespace

std::string TestPluginHandle::bundlePath(const std::string& name) {
    return std::string(VARNELVST_TEST_PLUGIN_DIR) + "/" + name + ".vst3";
}

std::string TestPluginHandle::libraryPath(const std::string& name) {
    return bundlePath(name) + "/Contents/" + VARNELVST_TEST_PLUGIN_ARCH_FOLDER + "/" + name +
           VARNELVST_TEST_PLUGIN_SUFFIX;
}

TestPluginHandle::TestPluginHandle(const std::string& name) {
    library_ = testsupport::openLibrary(libraryPath(name), error_);
    if (library_ == nullptr)
        return;
    auto probeFunction =
        reinterpret_cast<ProbeFunction>(testsupport::findSymbol(library_, "VarnelTestPlugin_probe"));
    if (probeFunction == nullptr) {
        error_ = name + " does not export VarnelTestPlugin_probe";
        return;
    }
    probe_ = probeFunction();
}

TestPluginHandle::~TestPluginHandle() {
    testsupport::closeLibrary(library_);
}

bool TestPluginHandle::loaded() const {
    return probe_ != nullptr;
}

TestPluginProbe& TestPluginHandle::probe() {
    return probe_ != nullptr ? *probe_ : emptyProbe;
}

const std::string& TestPluginHandle::error() const {
    return error_;
}

void* TestPluginHandle::library() const {
    return library_;
}

std::string describeViolations(const TestPluginProbe& probe) {
    const auto violations = probe.violations();
    if (violations.empty())
        return "no violations";
    std::string text = std::to_string(violations.size()) + " violation(s):";
    for (const auto& violation : violations)
        text += "\n  " + violation;
    return text;
}

} // namespace testplugin
