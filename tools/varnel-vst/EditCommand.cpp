// varnel-vst edit: the plug-in's own editor in a window, the plug-in processing
// behind it, and its state saved when the window closes.
#include "Commands.h"
#include "EditorWindow.h"
#include "FilePlan.h"
#include "LiveFeed.h"
#include "PluginFolders.h"
#include "PluginLoading.h"
#include "StandardOutput.h"
#include "ToolError.h"

#include <VSTPluginThread.h>

#include <varnel/AudioBusFormat.h>

#include <csignal>
#include <memory>
#include <ostream>
#include <string>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTEditorSize;
using varnel::extensions::vst::VSTPluginThread;
using varnel::extensions::vst::VSTProcessorNode;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

// While editing, SIGINT and SIGTERM end the editor as closing its window does,
// so that the state is still saved.
class StopSignals {
public:
    StopSignals() {
        struct sigaction action {};
        action.sa_handler = requestStop;
        // A second one ends the tool at once, should a plug-in hang.
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInterrupt);
        sigaction(SIGTERM, &action, &previousTerminate);
    }
    ~StopSignals() {
        sigaction(SIGINT, &previousInterrupt, nullptr);
        sigaction(SIGTERM, &previousTerminate, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction previousInterrupt {};
    struct sigaction previousTerminate {};
};

// Real-time blocks of the feed's size at its rate, as a live host runs them.
void setUpLive(VSTProcessorNode& node, const PluginLocation& plugin, int sampleRate) {
    node.setProcessMode(varnel::extensions::vst::VSTProcessingMode::Realtime);
    node.setMaxFramesPerBlock(static_cast<int>(LiveFeed::kBlockFrames));
    varnel::AudioBusFormat input{static_cast<std::uint32_t>(sampleRate), 2};
    varnel::AudioBusFormat output = input;
    if (!node.setBusFormat(input, output) || !node.getIsReadyToProcess())
        throw failure("could not set " + plugin.argument + " up for " + std::to_string(sampleRate) +
                      " Hz stereo");
}

std::string describe(VSTEditorSize size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

} // namespace

int runEdit(const EditCommand& command) {
    // The state saved at the end never replaces a file the editing reads.
    checkEditFiles(command);
    // From the start: a signal while the plug-in loads still ends the editing
    // with its state saved, once the window is up.
    const StopSignals signals;
    const PluginLocation plugin = locatePlugin(command.plugin);
    // No display is one line, before any plug-in loads.
    EditorWindow window;
    // The editor, its run loop and the window share this thread: X11 editors are
    // served between the window's events, and nothing else calls Xlib.
    if (!VSTPluginThread::adoptCurrentThread())
        throw failure("the plug-in thread was already taken");
    std::unique_ptr<VSTProcessorNode> node = createProcessorNode(plugin, command.pluginClass);
    // Made after the node, so that its audio thread stops before the node goes.
    LiveFeed feed(command.input);
    setUpLive(*node, plugin, feed.sampleRate());
    if (!command.preset.empty() && !node->loadPluginPreset(command.preset))
        throw failure("could not restore the preset " + command.preset + " into " + plugin.argument);
    if (!node->getPluginHasEditor())
        throw failure(plugin.argument + " has no editor that opens in an X11 window");

    const std::string name = node->getPluginClassInfo().name;
    window.create(name, VSTEditorSize{320, 240});
    node->on(VSTProcessorNode::kEditorResizedEvent,
             [&](const varnel::VLAny&) { window.fit(node->getPluginEditorSize()); });
    if (!node->openPluginEditor(window.parentHandle()))
        throw failure("could not open the editor of " + plugin.argument + ": " + node->getPluginLastError());
    // Shown once at the size the plug-in chose while opening.
    window.fit(node->getPluginEditorSize());
    // Said before the window is mapped: whoever sees the window can read the line.
    toolOutput() << "Editing " << name << " in a " << describe(node->getPluginEditorSize())
                 << " window; close it, or press Ctrl+C, to finish" << std::endl;
    window.show();
    feed.start(*node);

    while (stopRequested == 0) {
        const EditorWindow::Happenings happened = window.takeEvents();
        if (happened.closeAsked || happened.destroyed)
            break;
        if (happened.resizedTo) {
            // The plug-in may keep to sizes of its own; the window follows it.
            VSTEditorSize size = *happened.resizedTo;
            node->resizePluginEditor(size);
            window.fit(node->getPluginEditorSize());
        }
        VSTPluginThread::runPendingCalls(10);
    }
    node->closePluginEditor();
    // Blocks still run, so the last edits are in the processor's state.
    if (!command.savePreset.empty()) {
        if (!node->savePluginPreset(command.savePreset))
            throw failure("could not save " + name + "'s state to " + command.savePreset);
        toolOutput() << "Saved " << name << "'s state to " << command.savePreset << std::endl;
    }
    feed.stop();
    return kExitOk;
}

} // namespace varnelvst::tool
