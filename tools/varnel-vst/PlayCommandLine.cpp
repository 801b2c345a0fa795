#include "PlayCommandLine.h"

#include "PlayingOptions.h"
#include "StageOptions.h"
#include "ToolError.h"

#include <CLI/CLI.hpp>

namespace varnelvst::tool {

namespace {

// JACK servers run periods of 16 to 8192 frames; most take powers of two only.
constexpr std::uint32_t kSmallestBuffer = 16;
constexpr std::uint32_t kLargestBuffer = 8192;

constexpr const char* kPlayFooter =
    R"(Plays FILE (mono or stereo, at the server's rate) through the plug-in, or the
chain that --then adds, to the sound card in real time, or with --live the sound
card's input (a microphone, an instrument) through it. The plug-in options are
those of process: --preset first, then the settings in the order given;
--tempo, --time-signature and --fixed-block; each --then's options are its own.
Sound goes through a running JACK server (jackd, or PipeWire's pipewire-jack:
pw-jack varnel-vst play ...), the one JACK_DEFAULT_SERVER names; --device plays
to another of its clients, as --list-devices lists them (and --live takes its
input from that client, or from the sound card when it records nothing), and
--buffer asks the server for periods of N frames (every client of it gets them).

While it plays, a status line on a terminal shows the time played, the load of
the audio callback (the share of each period it takes; above 100% the sound
breaks up), the xruns the server reported, the input and output peak level and
the latency heard (the device's buffers and the plug-ins' latency). After the
file's end the sound plays on for the plug-ins' latency and tail (at most
5 s). Ctrl+C ends it early, as cleanly; either way --save-preset then writes
the state played with, and a summary of the whole run follows.)";

} // namespace

PlayCommand PlayArguments::finish() {
    PlayCommand play = std::move(command);
    play.chain.stages.front().plugin = firstPlugin;
    if (play.listDevices)
        return play;
    if (firstPlugin.empty())
        throw usageError("play needs a plug-in (see varnel-vst play --help)");
    if (play.live && !play.input.empty())
        throw usageError("play takes a sound file or --live, not both (see varnel-vst play --help)");
    if (!play.live && play.input.empty())
        throw usageError(
            "play needs a sound file, or --live for the sound input (see varnel-vst play --help)");
    if (play.live && play.loop)
        throw usageError(
            "--loop plays a file again; the sound input has no end (see varnel-vst play --help)");
    return play;
}

CLI::App& addPlayCommand(CLI::App& app, PlayArguments& play) {
    CLI::App& command = *app.add_subcommand(
        "play", "Play a sound file, or the sound input, through a plug-in to the sound card");
    command.footer(std::string(kPlayFooter) + "\n\n" + kPluginArgumentHelp);
    PlayCommand& target = play.command;
    // Not required by CLI11: --list-devices needs neither.
    command.add_option("plugin", play.firstPlugin, "Bundle name (ZamCompX2 or ZamCompX2.vst3) or path");
    command.add_option("file", target.input, "The sound file to play (mono or stereo)");
    command.add_flag("--live", target.live,
                     "Play the sound card's input through the plug-in instead of a file");
    command.add_flag("--loop", target.loop, "Play the file again from its start at its end, until Ctrl+C");
    command
        .add_option("--device", target.device, "Play to this client of the JACK server (see --list-devices)")
        ->type_name("NAME");
    command
        .add_option("--buffer", target.bufferFrames,
                    "Ask the server for periods of N frames, " + std::to_string(kSmallestBuffer) + " to " +
                        std::to_string(kLargestBuffer))
        ->type_name("N")
        ->check(CLI::Range(kSmallestBuffer, kLargestBuffer).description(""));
    command.add_flag(
        "--list-devices", target.listDevices,
        "List the sound server's devices (its clients that play or record) and its rate and period");
    command.add_flag("--bypass", target.chain.bypass, "Pass the sound through without the plug-ins");
    addPlayingOptions(command, target.chain.playing);
    addChainStageOptions(command, target.chain.stages);
    return command;
}

} // namespace varnelvst::tool
