// A host's first VarnelVST program: ZamCompX2 as a graph node, one block of audio.
#include <VSTExtension.h>
#include <VSTProcessorNode.h>
#include <varnel/ExtensionManager.h>

#include <cstdio>
#include <vector>

using namespace varnel;
using namespace varnel::extensions::vst;

int main() {
    VSTExtension::load(); // once, at start-up: registers the "VST" extension
    std::unique_ptr<Node> created = ExtensionManager::getInstance().createNode(
        "VSTProcessorNode", {{"pluginFileName", "ZamCompX2.vst3"}});
    auto* node = dynamic_cast<VSTProcessorNode*>(created.get());
    // A node whose plug-in did not load still passes audio through: check.
    if (node == nullptr || !node->getIsPluginLoaded()) {
        std::fprintf(stderr, "no ZamCompX2: %s\n", node ? node->getPluginLoadError().c_str() : "no node");
        return 1;
    }
    if (!node->setBusFormat({48000, 2}, {48000, 2})) {
        std::fprintf(stderr, "format refused: %s\n", node->getPluginLastError().c_str());
        return 1;
    }
    node->setPluginParameter("Threshold", 0.5f); // normalised: -40 dB of -80..0

    std::vector<float> left(512, 0.5f), right(512, 0.5f), outLeft(512), outRight(512);
    float* inputs[] = {left.data(), right.data()};
    float* outputs[] = {outLeft.data(), outRight.data()};
    AudioBuffer<float> in(inputs, 2, 512), out(outputs, 2, 512);
    AudioBus inBus{&in}, outBus{&out};
    node->process(inBus, outBus); // on the audio thread, once per block
    std::printf("in 0.5, out %.4f, Threshold %.2f\n", outLeft[511], node->getParameterValue(7));
}
