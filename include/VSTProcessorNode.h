#pragma once

#include "VSTChannelLayout.h"
#include "VSTEditorSize.h"
#include "VSTModule.h"
#include "VSTParameter.h"
#include "VSTParameterRange.h"
#include "VSTPluginEvent.h"
#include "VSTPluginInfo.h"
#include "VSTProcessingMode.h"

#include <varnel/AudioBus.h>
#include <varnel/AudioBusFormat.h>
#include <varnel/SingleBusAudioProcessorNode.h>
#include <varnel/VLAny.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnel::extensions::vst {

class VSTModule;

/// An audio-graph node that runs one VST 3 effect plug-in on a stereo bus.
///
/// The plug-in is named by the configuration key "pluginFileName", a path relative
/// to the system-wide VST 3 folder (`systemPluginFolder()`). A node whose plug-in
/// does not load still works: it passes its input through.
///
/// The optional key "pluginClass" names the audio module class to load from a
/// bundle that declares several, by name or class id (see VSTModule::loadPlugin);
/// absent or empty, the last one is loaded. A name that matches none fails the
/// load with the classes there are. A new "pluginClass" applies from the next
/// load on (loadPlugin, a new "pluginFileName").
///
/// The optional key "pluginState" holds the plug-in's state as base64 text of a
/// VST 3 preset (what getValue("pluginState") gives), so that a saved graph
/// restores its plug-ins' settings: it is applied right after the load. Text that
/// is not base64, or a state the plug-in refuses, is reported and the plug-in
/// keeps its defaults and keeps processing.
///
/// The optional key "pluginIsolation" chooses where the plug-in runs (see
/// VSTIsolation): "none" (the default) in this process, "process" in a helper
/// process of its own, so that a plug-in that crashes or hangs costs this node
/// only: its blocks pass through dry, "pluginCrashed" is emitted, and
/// reloadPlugin (or, with the key "pluginRestartAfterCrash" true, the node
/// itself) starts it again with its last state. Both apply from the next load on.
///
/// Threads: `process` runs on the audio thread; everything else is a control call,
/// which may come from any thread, alongside `process` and alongside other control
/// calls: each is carried out on the plug-in thread (VSTPluginThread), one at a
/// time, and waits there for its result; never for the audio thread (except where
/// VSTModule says so). The audio thread takes no lock. The caller still keeps
/// `loadPlugin`, a new "pluginFileName" and destruction apart from `process`, and
/// destruction apart from every other call.
///
/// Events: the node tells the application what the plug-in did on its own, as
/// framework events (EventEmitter::on), emitted on the plug-in thread within 10 ms
/// or before the next control call returns:
/// - "pluginParameterChanged", payload the parameter id (integer): the plug-in
///   changed the parameter itself (its editor, a program it loaded, a value its
///   processor reported, meters included); getParameterValue gives the new value.
/// - "pluginLatencyChanged", payload the latency in samples (integer) now in force.
/// - "pluginRestarted", payload the VST 3 RestartFlags (integer) the plug-in asked
///   for and the node carried out.
/// - "pluginEditorResized", payload the open editor's new size as text, e.g.
///   "640x400" (getPluginEditorSize gives the numbers): the application resizes
///   the editor's window to it.
/// - "pluginCrashed", payload how the isolated plug-in's process ended as text:
///   "signal SIGSEGV" (or another signal), "exit 0" (or another status), or
///   "hang" when it stopped answering and was ended; getPluginLastError gives the
///   reason, e.g. "The plug-in process ended with SIGSEGV during process".
/// A listener may call the node back, and may destroy it (as a graph removing
/// the node would): the node's events not yet emitted are then dropped.
///
/// Side-chain: graph code connects the signal that keys the plug-in (a voice
/// that ducks music, a drum that gates a pad) to a second input bus of the node,
/// mono or stereo at the main bus's rate; the node then activates the plug-in's
/// side-chain input and feeds it that bus in every block. A second input is how
/// a graph already routes audio from elsewhere, so the key arrives in step with
/// the block, negotiated like any other bus, with no call per block and no
/// buffer shared between threads; a graph that gives the node one input, as
/// before, leaves the side-chain off.
class VSTProcessorNode : public varnel::SingleBusAudioProcessorNode {
public:
    /// Control thread. Reads "pluginFileName", registers it as the node's
    /// configuration entry and loads the plug-in from the VST 3 folder. A name that
    /// is absolute or leaves the folder is refused without a load attempt. Then
    /// registers "pluginState" and restores it when given.
    explicit VSTProcessorNode(const varnel::VLAnyMap& config);
    ~VSTProcessorNode() override;

    /// Control thread; must not overlap `process`. Replaces the hosted plug-in with
    /// the one at `path` (a bundle folder or .so, any location) and sets it up for the
    /// rate, block size and mode the graph gave so far; true when it loaded. A
    /// disabled node keeps the new plug-in's processing switched off.
    bool loadPlugin(const std::string& path);

    /// Control thread. Starts an isolated plug-in again with its last state
    /// (VSTModule::reloadPlugin), e.g. after "pluginCrashed"; false for a plug-in
    /// in this process.
    bool reloadPlugin();

    /// Whether the last load (at construction or through loadPlugin) succeeded.
    bool getIsPluginLoaded() const;
    /// Control thread. Why the last load failed, or why the configured file name was
    /// refused; empty after a successful load.
    std::string getPluginLoadError() const;
    /// Control thread. Why the plug-in's last refused control call was refused
    /// (VSTModule::getLastError), e.g. "Read-only parameter not set: Meter", or
    /// the node's own refusal of a bus format (setBusFormat) when that came later.
    std::string getPluginLastError() const;

    /// The framework events the node emits; see the class comment.
    ///@{
    static constexpr const char* kParameterChangedEvent = "pluginParameterChanged";
    static constexpr const char* kLatencyChangedEvent = "pluginLatencyChanged";
    static constexpr const char* kRestartedEvent = "pluginRestarted";
    static constexpr const char* kEditorResizedEvent = "pluginEditorResized";
    static constexpr const char* kCrashedEvent = "pluginCrashed";
    ///@}

    /// Whether blocks reach the plug-in (setEnabled); a new node starts enabled.
    bool getIsEnabled() const;
    /// Control thread. While disabled, blocks pass through and the plug-in is not
    /// called; the plug-in's processing is switched to match.
    void setEnabled(bool enabled);

    /// The name given at construction, or the one a later "pluginFileName" loaded.
    std::string getPluginFileName() const;

    /// Control thread. Forwarded to the hosted VSTModule; see there. Read-only
    /// parameters are refused. Each call first logs the audio-thread failures
    /// counted since the last report (VSTModule::reportAudioThreadFailures), as do
    /// setEnabled and setBusFormat. Automation (setParameterEnvelope,
    /// clearParameterEnvelopes, setParameterAt) runs on the node's transport
    /// (setTransportPosition); a plug-in loaded later starts without it.
    ///@{
    std::vector<VSTParameter> getPluginParameters();
    void setPluginParameter(unsigned int id, float value);
    bool setPluginParameter(std::string name, float value);
    bool setValueNamesForPluginParameter(std::string name, std::vector<std::string> valueNames);
    bool setPluginParameterByValueName(std::string name, std::string valueName);
    float getParameterValue(unsigned int id);
    bool setPluginParameterEnvelope(unsigned int id, std::vector<VSTAutomationPoint> points);
    void clearPluginParameterEnvelopes();
    bool setPluginParameterAt(unsigned int id, float value, int frameOffset);
    bool getPluginState(std::vector<std::uint8_t>& state);
    bool setPluginState(const std::vector<std::uint8_t>& state);
    bool loadPluginPreset(const std::string& path);
    bool savePluginPreset(const std::string& path);
    ///@}

    /// Control thread. "pluginState" gives the plug-in's current state as base64
    /// text (failing when no plug-in is loaded); other keys as the base class.
    varnel::Result<varnel::VLAny> getValue(const std::string& key) override;
    /// Control thread. "pluginState" restores the state from base64 text and keeps
    /// the text only when the plug-in took it. "pluginFileName" loads the named
    /// plug-in with the constructor's checks, beside the running one, which it
    /// replaces once loaded (in the graph's set-up, keeping the enable switch); a
    /// name that is refused or does not load changes nothing and fails with the
    /// reason. Other keys as the base class.
    varnel::Result<void> setValue(const std::string& key, const varnel::VLAny& value) override;
    /// Control thread. The audio module class loaded (VSTModule::getPluginClassInfo).
    VSTPluginClassInfo getPluginClassInfo() const;
    /// Control thread. The hosted VSTModule's count of failed blocks; a reload
    /// starts a new count.
    std::uint64_t getAudioThreadFailureCount() const;
    /// Control thread. The plug-in's audio buses (VSTModule::getBuses).
    std::vector<VSTBusInfo> getPluginBuses() const;
    /// How the node's stereo bus reaches the plug-in (VSTModule::getChannelLayout).
    VSTChannelLayout getPluginChannelLayout() const;
    /// Control thread. Forwarded to the hosted VSTModule (getParameterDetails,
    /// getParameterValueText).
    ///@{
    std::vector<VSTParameterDetails> getPluginParameterDetails();
    std::string getPluginParameterValueText(unsigned int id, double normalizedValue);
    ///@}
    /// Control thread. Plain values and texts in the plug-in's own units, converted by
    /// the plug-in itself; see VSTModule::getParameterRange, setParameterPlain and
    /// setParameterByText.
    ///@{
    bool getPluginParameterRange(unsigned int id, VSTParameterRange& range);
    bool setPluginParameterPlain(std::string name, double plain);
    bool setPluginParameterByText(std::string name, std::string text);
    ///@}

    /// Control thread, while the graph is not processing; may wait for one block.
    /// The graph's largest block and its process mode (real-time, 1024 frames until
    /// called): the plug-in is set up again at once, and every later set-up,
    /// including a reload's and the one each format change makes, announces them.
    /// False when the value is invalid (nothing changes) or the plug-in refused it.
    ///@{
    bool setMaxFramesPerBlock(int maxFrames);
    bool setProcessMode(VSTProcessingMode mode);
    ///@}
    /// Control thread; may wait for one block. Forwarded to the hosted VSTModule
    /// (getLatencySamples, getTailSamples with VSTModule::kNoTail and
    /// VSTModule::kInfiniteTail, handleRestartRequests); 0 without a plug-in. The
    /// latency includes the fixed block size (setFixedBlockSize). A graph delays
    /// the node's other paths by the latency to keep them in line.
    ///@{
    std::uint32_t getPluginLatencySamples() const;
    std::uint32_t getPluginTailSamples() const;
    void handlePluginRestartRequests();
    ///@}
    /// Control thread, while the graph is not processing; allocates. Forwarded to
    /// the hosted VSTModule (setFixedBlockSize, getFixedBlockSize): the plug-in
    /// runs in blocks of exactly `frames` whatever size the graph's blocks have,
    /// and the output lags by `frames` more, which getPluginLatencySamples
    /// includes. 0 switches it off; false, changing nothing, for a negative size.
    /// Kept for plug-ins loaded later, which start from silence.
    bool setFixedBlockSize(int frames);
    /// The fixed block size in force; 0 when the graph's blocks reach the plug-in.
    int getFixedBlockSize() const;

    /// Control thread. The musical context of the plug-in's blocks (see
    /// VSTModule::setTempo): 120 BPM, 4/4, playing from sample 0 until set. Tempo,
    /// time signature and playing state carry over to a plug-in loaded later; its
    /// position starts at 0.
    ///@{
    bool setTempo(double beatsPerMinute);
    bool setTimeSignature(int numerator, int denominator);
    void setTransportPlaying(bool playing);
    void setTransportPosition(std::int64_t projectTimeSamples);
    ///@}

    /// Control thread. Whether blocks reach the plug-in as the graph runs them: it
    /// loaded, accepted a set-up at the graph's last sample rate and is active.
    bool getIsReadyToProcess() const;

    /// Control thread. The plug-in's editor in a native window of the application,
    /// forwarded to the hosted VSTModule (hasEditor, openEditor, closeEditor,
    /// isEditorOpen, getEditorSize, resizeEditor, setEditorContentScale); see
    /// there. A new plug-in (loadPlugin, "pluginFileName") and the node's
    /// destruction close the old plug-in's editor first.
    ///@{
    bool getPluginHasEditor();
    bool openPluginEditor(void* parentWindow,
                          const std::string& platformType = VSTModule::nativeEditorWindowType());
    void closePluginEditor();
    bool getIsPluginEditorOpen() const;
    VSTEditorSize getPluginEditorSize() const;
    bool resizePluginEditor(VSTEditorSize& size);
    bool setPluginEditorContentScale(float factor);
    ///@}

    /// Control thread. Accepts matching stereo formats and passes the sample rate to
    /// the loaded plug-in. Formats that differ, or a rate of 0, are refused and
    /// change nothing; a bus of another channel count is refused but its rate is
    /// taken (its blocks pass through). Each refusal is logged once, and
    /// getPluginLastError gives its reason until the format is accepted or the
    /// plug-in refuses something else. The second form takes temporaries:
    /// `node.setBusFormat({48000, 2}, {48000, 2})`.
    bool setBusFormat(varnel::AudioBusFormat& in, varnel::AudioBusFormat& out) override;
    /// Control thread. The same as the form above, for temporaries.
    bool setBusFormat(const varnel::AudioBusFormat& in, const varnel::AudioBusFormat& out);
    /// Control thread. One input and one output as setBusFormat; or a second
    /// input, the side-chain (see the class comment), of one or two channels at
    /// the first input's rate: accepted when the plug-in has a side-chain input,
    /// which is then activated (and deactivated again by formats without one). A
    /// plug-in loaded later gets its side-chain activated too. Refused, with one
    /// line, for any other list and for a plug-in without a side-chain input.
    bool setBusFormats(varnel::AudioBusFormatList& inputs, varnel::AudioBusFormatList& outputs) override;
    /// Audio thread; never allocates, locks, waits or logs (what the plug-in does in
    /// its own process is its own). Copies input to output, then lets the plug-in
    /// process channels 0 and 1 while enabled. Buses of fewer than two channels, and
    /// every block of a node whose plug-in did not load, pass through. A failing
    /// plug-in's blocks are counted and logged by the next control call.
    bool process(varnel::AudioBus& inBus, varnel::AudioBus& outBus) override;
    /// Audio thread, as above; a second input bus is the side-chain (its first two
    /// channels; one for a mono key). A block without one gives the plug-in's
    /// side-chain silence.
    bool process(varnel::AudioBusList& inputs, varnel::AudioBusList& outputs) override;

    /// The system-wide VST 3 folder of this platform, ending in a separator.
    static std::string systemPluginFolder();
    /// Whether `fileName` is a relative path that stays inside the VST 3 folder.
    static bool isSafePluginFileName(const std::string& fileName);

private:
    void setPluginFileName(const std::string& fileName);
    bool replacePlugin(const std::string& path);
    varnel::Result<void> setPluginFileNameValue(const varnel::VLAny& value);
    void emitPluginEvent(const VSTPluginEvent& event);
    /// Sets a freshly made module up as the graph and the caller said so far.
    void prepareModule(VSTModule& module);
    bool setPluginStateText(const std::string& text);
    /// The block through the plug-in, with the side-chain bus when there is one.
    bool processBlock(varnel::AudioBus& inBus, varnel::AudioBus& outBus, const varnel::AudioBus* sideChain);
    /// Plug-in thread: the plug-in's side-chain as the graph's formats want it.
    bool followSideChainInput(VSTModule& module);

    struct Internals;
    std::unique_ptr<Internals> internals;
};

} // namespace varnel::extensions::vst
