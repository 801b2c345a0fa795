// varnel-vst edit: the plug-in's own editor in a window, the plug-in processing
// behind it, and its state saved when the window closes.
#include "Commands.h"
#include "EditorWindow.h"
#include "FilePlan.h"
#include "LiveFeed.h"
#include "PluginFolders.h"
#include "PluginLoading.h"
#include "StandardOutput.h"
#include "StopSignals.h"
#include "ToolError.h"
#include "live/JackSession.h"
#include "live/LivePlayback.h"

#include <VSTPluginThread.h>

#include <varnel/AudioBusFormat.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTEditorSize;
using varnel::extensions::vst::VSTPluginThread;
using varnel::extensions::vst::VSTProcessorNode;

namespace {

// Real-time blocks of the sound's period at its rate, as a live host runs them.
void setUpLive(VSTProcessorNode& node, const PluginLocation& plugin, int sampleRate,
               std::uint32_t blockFrames) {
    node.setProcessMode(varnel::extensions::vst::VSTProcessingMode::Realtime);
    node.setMaxFramesPerBlock(static_cast<int>(blockFrames));
    varnel::AudioBusFormat input{static_cast<std::uint32_t>(sampleRate), 2};
    varnel::AudioBusFormat output = input;
    if (!node.setBusFormat(input, output) || !node.getIsReadyToProcess())
        throw failure("could not set " + plugin.argument + " up for " + std::to_string(sampleRate) +
                      " Hz stereo");
}

// The JACK server the sound is heard through: when there is sound to hear and
// one runs. Without one, --input still runs through the plug-in, unheard.
std::unique_ptr<JackSession> openSoundServer(const EditCommand& command) {
    if (command.input.empty() && !command.live)
        return nullptr;
    std::unique_ptr<JackSession> session = JackSession::open("varnel-vst");
    if (!session) {
        if (command.live || !command.device.empty() || command.bufferFrames != 0)
            throw failure(JackSession::notRunning());
        printNote(JackSession::notRunning() + "; " + command.input + " plays through the plug-in unheard");
        return nullptr;
    }
    if (command.bufferFrames != 0)
        session->requestBufferFrames(command.bufferFrames);
    return session;
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
    const std::unique_ptr<JackSession> session = openSoundServer(command);
    // The editor, its run loop and the window share this thread: X11 editors are
    // served between the window's events, and nothing else calls Xlib.
    if (!VSTPluginThread::adoptCurrentThread())
        throw failure("the plug-in thread was already taken");
    std::unique_ptr<VSTProcessorNode> node = createProcessorNode(plugin, command.pluginClass);
    // Made after the node, so that its audio thread stops before the node goes:
    // the server's, or the feed's that keeps an unheard plug-in processing.
    std::optional<LivePlayback> playback;
    std::optional<LiveFeed> feed;
    if (session) {
        playback.emplace(*session, LivePlayback::Source{command.input, true});
        setUpLive(*node, plugin, session->sampleRate(), session->bufferFrames());
    } else {
        feed.emplace(command.input);
        setUpLive(*node, plugin, feed->sampleRate(), LiveFeed::kBlockFrames);
    }
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
    if (playback)
        playback->start({node.get()}, 0, command.device);
    else
        feed->start(*node);

    while (!signals.requested()) {
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
    if (playback)
        playback->stop();
    else
        feed->stop();
    return kExitOk;
}

} // namespace varnelvst::tool
