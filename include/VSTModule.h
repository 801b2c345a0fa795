#pragma once

#include "VSTAutomation.h"
#include "VSTChannelLayout.h"
#include "VSTEditorSize.h"
#include "VSTIsolation.h"
#include "VSTParameter.h"
#include "VSTParameterRange.h"
#include "VSTPluginEvent.h"
#include "VSTPluginInfo.h"
#include "VSTProcessingMode.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace varnel::extensions::vst {

/// Hosts one VST 3 effect plug-in: loads its module, brings component and edit
/// controller up, runs the audio processor on a stereo signal per block, and reads
/// and sets parameters by id, by title, or by names given to the steps of a
/// stepped parameter.
///
/// Channels. At load the plug-in is asked for stereo main buses; what it keeps
/// decides the channel layout (getChannelLayout). A mono-only effect runs as two
/// instances of its audio module class, one per channel, which get every parameter
/// value, set-up and processing switch alike; the edit controller is the first
/// instance's. Every bus the plug-in declares is handed to it with its own channel
/// count: auxiliary and inactive inputs read silence, extra outputs are dropped.
///
/// Threads. `process` runs on the audio thread; every other operation is a control
/// call, which may come from any thread and is carried out on the plug-in thread
/// (VSTPluginThread), where VST 3 wants a plug-in's set-up, state and controller
/// calls, and waits for its result there. Control calls may come concurrently with
/// each other and with `process`: parameter values reach the audio thread through
/// lock-free slots, and the processing switch and set-up calls wait for a block in
/// flight to finish rather than reconfigure the plug-in under it. Loading and
/// destruction must not overlap `process`.
///
/// Two ways. What the plug-in changes itself comes back: values its processor
/// reports after a block (meters, a program it switched to) reach the edit
/// controller and getParameterValue; edits its controller makes reach the
/// processor; a restart it asks for is carried out. The plug-in thread catches up
/// with these every 10 ms and before every control call, and tells the listener
/// (setEventListener).
///
/// Failures are reported once through varnel::Logger::error, with lines that begin
/// "[VSTModule] ", and as a false or empty result; getLastError keeps the reason.
/// Nothing throws, and nothing a plug-in throws leaves the module: a throwing
/// control call is refused with one line, a throwing block counts as failed. The
/// audio thread never logs: its failures are counted and logged by a later control
/// call.
class VSTModule {
public:
    /// Control thread. Touches no plug-in.
    VSTModule();
    /// Control thread. Stops processing, deactivates, disconnects and terminates
    /// what this module set up, then releases the plug-in and unloads its module.
    ~VSTModule();

    VSTModule(const VSTModule&) = delete;
    VSTModule& operator=(const VSTModule&) = delete;

    /// Control thread; allocates. Loads the module at `path` (a bundle folder or the
    /// .so itself), creates and initialises its audio module class, sets it up for
    /// 48000 Hz in the process mode and block size given so far (real-time, 1024
    /// frames unless set), activates it and switches processing on. True when the
    /// plug-in's objects are in place; a plug-in that refuses that set-up or its
    /// activation is logged and not ready to process (isReadyToProcess) until a
    /// later set-up is accepted. One load per object.
    bool loadPlugin(const std::string& path);
    /// As above; on failure `error` receives the reason as one line (the logged one
    /// without its "[VSTModule] " prefix), on success it is emptied.
    bool loadPlugin(const std::string& path, std::string& error);
    /// As above, loading the audio module class `pluginClass` names: a class name
    /// (exact, case-sensitive) or a class id as 32 hexadecimal digits, as
    /// VSTPluginClassInfo::classId gives it. Empty keeps the rule of the loads
    /// above: a bundle that declares several audio module classes loads the last
    /// one (getPluginClassInfo tells which). A name or id that matches no audio
    /// module class fails the load, with a reason that lists the classes there are.
    bool loadPlugin(const std::string& path, const std::string& pluginClass, std::string& error);
    /// Control thread. Why the load failed, as loadPlugin gave it; empty before any
    /// load and after a successful one.
    std::string getLoadError() const;
    /// Control thread. Why the last refused control call was refused (a load
    /// included), as logged without the "[VSTModule] " prefix; empty before any
    /// refusal. A later successful call leaves it as it is.
    std::string getLastError() const;

    /// Control thread, before loadPlugin and never alongside `process`. Where the
    /// plug-in will run (VSTIsolation): in this process, or in a helper process of
    /// its own, with the limits given. False, with one line and nothing changed,
    /// once a load was made, where this system offers no helper process, or for a
    /// limit below 1 (the block budget may be 0, its default).
    bool setIsolation(const VSTIsolation& isolation);
    /// Control thread. The isolation in force.
    VSTIsolation getIsolation() const;
    /// The environment variable that names the helper program of the `process`
    /// isolation, overriding where the library looks for it (beside itself, in
    /// its libexec folder: ../libexec/varnelvst/varnel-vst-plugin-host).
    static constexpr const char* kPluginHostVariable = "VARNELVST_PLUGIN_HOST";

    /// Control thread; allocates; may run alongside `process`, whose blocks pass
    /// through dry meanwhile (counted). For a plug-in in a process of its own: ends
    /// that process (a crashed one is already gone), starts a new one, loads the
    /// plug-in again with the set-up in force, and restores the last state this
    /// module holds (the state set or loaded through it, or read from the plug-in
    /// after its last change) with every value set after it; the blocks after it
    /// run from there. False, with one line, without a load, for a plug-in in this
    /// process, or when the plug-in does not load again.
    bool reloadPlugin();

    /// Control thread. Called on the plug-in thread, outside any other call of this
    /// module, for each thing the plug-in did on its own (VSTPluginEvent); it may
    /// call this module back, and may destroy it (events not yet delivered are then
    /// dropped). One listener; an empty function removes it.
    void setEventListener(std::function<void(const VSTPluginEvent&)> listener);

    /// Control thread; allocates; creates no plug-in object. Every class the module
    /// at `path` declares, in the factory's order, whatever its category. Empty with
    /// the reason in `error` (not logged) when the module does not load. May wait
    /// while another thread loads or unloads a plug-in library.
    static std::vector<VSTPluginClassInfo> listPluginClasses(const std::string& path, std::string& error);
    /// Control thread; allocates. The audio module class that was loaded; an empty
    /// record before a load and after a failed one.
    VSTPluginClassInfo getPluginClassInfo() const;
    /// Control thread; allocates. Every audio bus the component declared at load,
    /// inputs first, each direction in declaration order; empty without a plug-in.
    std::vector<VSTBusInfo> getBuses() const;
    /// Control thread. How the stereo signal reaches the plug-in, chosen at load;
    /// `none` before a load and after a failed one. describeChannelLayout gives it
    /// in words.
    VSTChannelLayout getChannelLayout() const;

    /// Control thread; may wait for one block in flight. Switches the plug-in's
    /// processing on or off; true when the plug-in accepted it (or answered that it
    /// does not implement the switch). While off, `process` leaves the output
    /// buffers as they are. A switch the plug-in refused is asked for again when
    /// the caller asks again.
    bool setProcessing(bool processing);

    /// Control thread. Whether blocks reach the plug-in while processing is on: a
    /// set-up was accepted and the component is active.
    bool isReadyToProcess() const;

    /// Control thread; may wait for one block in flight. Announces the process mode,
    /// the largest block and the sample rate, deactivating the plug-in around it.
    /// Refuses, with its own line and without asking the plug-in, a mode VST 3 does
    /// not know, a maximum <= 0, and a rate that is not finite and positive. The
    /// blocks that follow carry the accepted mode. After every such reactivation
    /// (and a restart's), the first block hands the processor every value the
    /// controller holds, for plug-ins that reset their settings on activation.
    bool setupProcessing(VSTProcessingMode processingMode, int maxSamplesPerBlock, double sampleRate);

    /// Control thread; may wait for one block in flight. Sets the plug-in up for
    /// `sampleRate`, keeping the mode and maximum of the set-up in force; true at
    /// once when the rate is the one in force. Rate 0 is refused.
    bool setSampleRate(unsigned int sampleRate);

    /// Control thread; may wait for one block in flight. Change the mode or the
    /// maximum of the set-up in force (and so of every later one); before a load,
    /// or without a loaded plug-in, only remembered for the load. A value already in
    /// force sends nothing; invalid values are refused as by setupProcessing.
    ///@{
    bool setMaxSamplesPerBlock(int maxSamplesPerBlock);
    bool setProcessMode(VSTProcessingMode processingMode);
    ///@}

    /// Control thread, while no block is processed; allocates; may wait for one
    /// block in flight. Runs the plug-in in blocks of exactly `frames` whatever
    /// size the caller's blocks have, for plug-ins that process only one block
    /// size: the module gathers them, so its output lags by `frames` more, which
    /// getLatencySamples includes. The plug-in is set up for blocks of `frames`
    /// (the maximum given by setMaxSamplesPerBlock stays kept for when this is
    /// off). 0 switches it off; a negative size is refused, changing nothing.
    /// Buffered audio starts as silence; a new module starts with none.
    bool setFixedBlockSize(int frames);
    /// Control thread. The fixed block size in force; 0 when the caller's blocks
    /// reach the plug-in as they come.
    int getFixedBlockSize() const;

    /// Audio thread; never allocates, locks, waits or logs, also when it fails (the
    /// plug-in itself may do any of these inside its own process). Runs the plug-in
    /// on one block: planar buffers of at least `numFrames` samples each. Both
    /// output channels get the plug-in's result, whatever the layout. Parameter
    /// values set before the call reach the plug-in at sample offset 0. Blocks
    /// longer than the announced maximum reach the plug-in in pieces; with fixed
    /// blocks, the plug-in gets exactly those. A failing block (no plug-in loaded,
    /// the plug-in's process failing, or a block that found processing stopped
    /// for a set-up or restart while the caller had it switched on) is only
    /// counted in atomics; see reportAudioThreadFailures.
    void process(float* inL, float* inR, float* outL, float* outR, int numFrames);
    /// Audio thread, as above, with a side-chain signal of `numFrames` beside the
    /// input: `sideL` and `sideR`, or `sideL` alone for a mono one; both null for
    /// none. While the side-chain is active (setSideChainActive) it reaches the
    /// plug-in's side-chain bus, mapped onto the bus's channels as the input is
    /// onto the main bus: a mono bus gets the mean of a stereo signal, a stereo bus
    /// a mono one on both channels. A block without one gives the bus silence,
    /// never an earlier block's signal. With fixed blocks it is gathered with the
    /// input and stays in step with it.
    void process(float* inL, float* inR, float* outL, float* outR, const float* sideL, const float* sideR,
                 int numFrames);

    /// Control thread; may wait for one block in flight. Activates the plug-in's
    /// side-chain input, its first auxiliary audio input bus (see getBuses), or
    /// deactivates it again; the plug-in is deactivated around the change (VST 3
    /// changes buses only then) and gets the controller's values back after it.
    /// Off unless asked for: some plug-ins key themselves from a side-chain as
    /// soon as it is active. True when the side-chain is as asked; false, with one
    /// line, without a plug-in, for a plug-in without an auxiliary input, or when
    /// it refused (the side-chain is then inactive).
    bool setSideChainActive(bool active);
    /// Control thread. Whether the side-chain input is active.
    bool isSideChainActive() const;

    /// The musical context every block carries (VST 3's ProcessContext): sample
    /// rate, project time in samples, continuous time, system time, tempo, time
    /// signature, position in quarter notes and of the last bar, and whether the
    /// transport plays, each marked valid. Until set: 120 BPM, 4/4, playing from
    /// sample 0. The project time moves on with every block while playing and
    /// stands while stopped; the continuous time always moves on. Control thread;
    /// never waits for the audio thread: the next block carries the change.
    /// A tempo that is not finite and above 0, or a time signature part below 1,
    /// is refused with a line and changes nothing.
    ///@{
    bool setTempo(double beatsPerMinute);
    bool setTimeSignature(int numerator, int denominator);
    void setTransportPlaying(bool playing);
    ///@}
    /// The project time, in samples, of the next block.
    void setTransportPosition(std::int64_t projectTimeSamples);

    /// getTailSamples for a plug-in that wants no tail, and for one whose tail never
    /// ends (VST 3's kNoTail and kInfiniteTail).
    ///@{
    static constexpr std::uint32_t kNoTail = 0;
    static constexpr std::uint32_t kInfiniteTail = 0xFFFFFFFFu;
    ///@}

    /// Control thread; may wait for one block in flight (see handleRestartRequests).
    /// How many samples the plug-in's output lags its input, and how many samples of
    /// output follow the end of its input (kNoTail, kInfiniteTail, or a count), as
    /// the plug-in said after its last set-up, activation or latency change; 0
    /// without a plug-in. The latency includes the fixed block size
    /// (setFixedBlockSize). Each first acts on pending restart requests, like every
    /// control call.
    ///@{
    std::uint32_t getLatencySamples() const;
    std::uint32_t getTailSamples() const;
    ///@}

    /// Control thread; may wait for one block in flight. The plug-in may ask, from
    /// any thread and even inside a block, to be restarted; the request is noted
    /// and acted on on the plug-in thread, between blocks, within 10 ms or at the
    /// next control call: a latency other than the one in force deactivates and
    /// reactivates the plug-in and reads it again (the same latency changes
    /// nothing), a changed bus layout or a reload request sets it up again in the
    /// set-up in force, changed values send the controller's changed values to the
    /// processor once, changed parameter titles renew the title table. In the
    /// offline process mode, requests that deactivate the plug-in wait for a
    /// control call, so that a render loses no block to them; this is that call.
    /// Edits the plug-in makes itself (IComponentHandler::performEdit) need no
    /// call: they reach the audio side like setParameter's values.
    void handleRestartRequests();

    /// Control thread. Logs the failures `process` counted since the last report:
    /// the first failure of a run (same result, no success between) as its own line,
    /// e.g. "[VSTModule] process error: 1", and the rest of the run as one count
    /// line, "[VSTModule] process error: 1 repeated 9999 times". Every parameter
    /// operation reports this way first, so failures appear with the next such call.
    /// Acts on pending restart requests too (handleRestartRequests).
    void reportAudioThreadFailures();

    /// Any thread; never allocates, locks or waits. How many blocks `process` has
    /// counted as failed since this object was made (the plug-in's process failing,
    /// no audio processor, or a block that did not reach the plug-in because a
    /// set-up or restart had stopped processing that the caller had on), logged or
    /// not. An offline render compares it before
    /// and after to learn whether every block reached the plug-in and succeeded.
    std::uint64_t getAudioThreadFailureCount() const;

    /// Control thread; allocates. The plug-in's parameters in controller order,
    /// queried afresh on every call.
    std::vector<VSTParameter> getParameters();

    /// Control thread. The edit controller's current normalised value of `id`.
    float getParameterValue(unsigned int id);

    /// Control thread; allocates. Everything the edit controller says about each
    /// parameter, in controller order, with its current value and that value's text.
    std::vector<VSTParameterDetails> getParameterDetails();
    /// Control thread; allocates. The controller's text for `normalizedValue` of `id`
    /// (without units); empty when the controller gives none.
    std::string getParameterValueText(unsigned int id, double normalizedValue);

    /// Control thread; never blocks the audio thread, but may wait for a set-up or a
    /// processing switch on another control thread, which itself waits for the block
    /// in flight. Gives the normalised value to the edit controller and hands it to
    /// the audio side, where the next block carries it at offset 0, once, so that
    /// the plug-in's own later changes stand. The last value set before a block
    /// wins. A parameter the plug-in lists as read-only is refused with a log line
    /// and reaches neither side. Ids the plug-in lists later get their values to
    /// the processor like any other, up to 1024 ids it did not list at load;
    /// beyond those, a value is refused with a line.
    void setParameter(unsigned int id, float value);

    /// Control thread. As above, by parameter title (exact, case-sensitive); false
    /// when no parameter has that title or it is read-only. Where titles repeat, the
    /// last one listed wins.
    bool setParameter(std::string name, float value);

    // Automation, sample-accurate. VST 3 hands a block's parameter changes over as
    // one queue per parameter, each point a frame offset in the block and a value,
    // and means a linear ramp between points. The module fills those queues from
    // envelopes on the transport's timeline and from changes timed inside the next
    // block. A plug-in that reads every point follows an envelope exactly; one
    // that reads only a queue's last point runs each block at the envelope's value
    // at the block's last frame (a staircase that ends every block on the
    // envelope); one that reads only the first point, at its value at the first.

    /// The points one parameter's queue carries in one block at most. A block the
    /// module cuts into pieces (a caller's block longer than the set-up's maximum,
    /// fixed blocks) has that many per piece.
    static constexpr int kMaxPointsPerBlock = 16;

    /// Control thread; allocates; never waits for the audio thread. Plays `points`
    /// (frames strictly increasing, normalised values from 0 to 1) as the envelope
    /// of parameter `id`, replacing the one it had; empty removes it. The envelope
    /// runs on the transport's timeline, the project time in samples of the frames
    /// the plug-in processes: it moves with the transport, stands while it stops,
    /// and jumps when it is located (setTransportPosition). With fixed blocks and
    /// plug-in latency alike, a point reaches the plug-in with the input frame of
    /// its time. Before the first point the envelope holds the first point's value,
    /// after the last the last's; between points it ramps linearly, except for a
    /// stepped parameter (stepCount > 0), which holds each point's value until the
    /// next point. Each block carries the envelope's value at its first and last
    /// frame and the points in between, at most kMaxPointsPerBlock - 2 of them
    /// (half as many steps): a denser envelope gets an evenly spread choice.
    /// While an envelope plays, it alone decides the parameter: values set through
    /// setParameter, setParameterAt or a restored state give way to it. The change
    /// reaches the audio side as a whole, at a block boundary. getParameterValue
    /// and the controller follow the values played, within 10 ms. False, with one
    /// line and nothing changed, without a plug-in, for an id the plug-in does not
    /// list or lists as read-only, and for points out of order or out of range.
    bool setParameterEnvelope(unsigned int id, std::vector<VSTAutomationPoint> points);
    /// Control thread; never waits for the audio thread. Removes every envelope;
    /// each parameter keeps the value it was last played with.
    void clearParameterEnvelopes();

    /// Control thread; never waits for the audio thread. Changes parameter `id` to
    /// the normalised `value` (0 to 1) at `frameOffset` frames after the first
    /// frame of the next block `process` gets (past that block's end: that many
    /// frames after its start, in a later block), on the frames the caller hands
    /// in, fixed blocks or not. A block carries it once, at its offset, after a
    /// value setParameter gave for the same block. Up to 256 may wait for their
    /// blocks; getParameterValue and the controller follow once played. False,
    /// with one line, without a plug-in, for an id the plug-in does not list or
    /// lists as read-only, a negative offset, a value out of range, or when 256 wait.
    bool setParameterAt(unsigned int id, float value, int frameOffset);

    /// Control thread. Names the discrete values of a stepped parameter in ascending
    /// order. Given one name per step (stepCount + 1), name i stands for
    /// i / stepCount, which selects step i on plug-ins that truncate and on those
    /// that round alike; given another count (logged), name i of n stands for i / n.
    /// False for an unknown title.
    bool setValueNamesForPluginParameter(std::string name, std::vector<std::string> valueNames);

    /// Control thread. Sets the titled parameter to the value `valueName` stands for:
    /// a name the caller gave, else one of the plug-in's own step names (see
    /// getParameterRange). False, with one line and nothing changed, for an unknown
    /// title, a read-only parameter, or a value name that is neither.
    bool setParameterByValueName(std::string name, std::string valueName);

    /// Control thread; allocates. The parameter `id` in the plug-in's own units and
    /// texts; false for an id the controller does not list.
    bool getParameterRange(unsigned int id, VSTParameterRange& range);

    /// Control thread. The controller's current value of `id` in plain units.
    double getParameterPlain(unsigned int id);

    /// Control thread. As setParameter by title, with a plain value the plug-in
    /// converts (plainParamToNormalized). A value outside the plug-in's plain range,
    /// or one it converts to something outside 0 to 1, is refused: false, nothing set.
    bool setParameterPlain(std::string name, double plain);

    /// Control thread. As setParameter by title, with text the plug-in parses
    /// (getParamValueByString), e.g. "-24" for a level in dB or the name of a step.
    /// Text the plug-in does not take is refused: false, nothing set.
    bool setParameterByText(std::string name, std::string text);

    /// Control thread; allocates; runs alongside `process` (VST 3 plug-ins give their
    /// state while processing). Values set since the last block reach the processor
    /// only with a block: while blocks run, this waits up to 100 ms for the next
    /// one, so that the state holds them; a plug-in that is not processing holds
    /// them in its processor's state from its next block on. The plug-in's whole
    /// state, the component's and the edit controller's, as the bytes of a VST 3
    /// preset file of its class.
    bool getState(std::vector<std::uint8_t>& state);

    /// Control thread; allocates; waits for one block in flight. Restores a state
    /// from `getState` (or the bytes of a .vstpreset file): the plug-in is
    /// deactivated around it, so no block sees it half-restored, and it resumes from
    /// the restored state as after a preset change, and every restored value
    /// reaches the processor with the next block (plug-ins that reset their
    /// settings on activation need it). Values set earlier through setParameter
    /// give way to the restored ones. A state of another plug-in class,
    /// a truncated or damaged one, or one the plug-in refuses is reported and
    /// changes nothing; false then.
    bool setState(const std::vector<std::uint8_t>& state);

    /// Control thread, as setState. Restores the .vstpreset file at `path`: only a
    /// regular file of at most 128 MiB is read; a folder, a device, a FIFO (never
    /// waited on) or a larger file is refused with one line.
    bool loadPreset(const std::string& path);
    /// Control thread, as getState. Writes the state to `path` as a .vstpreset file,
    /// through a temporary file beside it that is created exclusively under a name
    /// nobody can guess and renamed into place; a link at `path` has its target written.
    bool savePreset(const std::string& path);

    // The plug-in's editor. Its view is called on the plug-in thread only; on
    // Linux it gets a run loop there (VST 3's IRunLoop), whose timers and file
    // descriptors X11 editors need to repaint and take input, so the plug-in
    // thread must keep running (see VSTPluginThread) while an editor is open.
    // Edits made in the editor reach the processor, getParameterValue and the
    // listener like any edit of the plug-in's own. Closing the editor, unloading
    // and destroying the module may come in any order: a module going away
    // closes its editor first.

    /// The kind of native window an editor opens into on this platform, as VST 3
    /// names it: "X11EmbedWindowID" (an X11 window id) on Linux, "HWND" on Windows.
    static const char* nativeEditorWindowType();

    /// Control thread. Whether the plug-in has an editor that opens into a native
    /// window of this platform (true while one is open); asking makes and
    /// releases a view.
    bool hasEditor();

    /// Control thread. Opens the plug-in's editor into `parentWindow`, a native
    /// window of `platformType` that the application made and keeps until
    /// closeEditor: on Linux the X11 window id (`reinterpret_cast<void*>(window)`),
    /// on Windows the HWND. The plug-in chooses its size, often while opening;
    /// getEditorSize gives it, and the application resizes the window to match.
    /// False, with one line and nothing open, for a plug-in without an editor,
    /// one that refuses, or an editor already open.
    bool openEditor(void* parentWindow, const std::string& platformType = nativeEditorWindowType());

    /// Control thread. Takes the editor out of its parent window and releases it;
    /// nothing happens when none is open. Call before destroying the window.
    void closeEditor();

    /// Control thread. Whether an editor is open, and the size it last took
    /// (empty when closed). Later sizes the plug-in asks for are given to the
    /// listener as VSTPluginEvent::Kind::editorResized.
    ///@{
    bool isEditorOpen() const;
    VSTEditorSize getEditorSize() const;
    ///@}

    /// Control thread. The user resized the window: asks the open editor to take
    /// `size`, which the plug-in may adjust; `size` then holds what it took.
    /// False, with one line, when no editor is open or it cannot be resized.
    bool resizeEditor(VSTEditorSize& size);

    /// Control thread. Tells the open editor how large its content is drawn (1 for
    /// 100 %, 2 for 200 %), for platforms where plug-ins cannot learn it
    /// themselves; a plug-in that takes it asks for its new size, which the
    /// listener hears of. False, with one line, where the plug-in takes none.
    bool setEditorContentScale(float factor);

private:
    struct Internals;
    std::unique_ptr<Internals> internals;
};

} // namespace varnel::extensions::vst
