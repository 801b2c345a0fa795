#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace varnelvst::tool {

// One parameter change from the command line, applied in the order given.
struct ParameterSetting {
    enum class Kind {
        byTitle,     // --set NAME=VALUE
        byId,        // --set-id ID=VALUE
        valueNames,  // --value-names NAME=a,b,c
        byValueName, // --set NAME=@b
        byPlain,     // --set-plain NAME=VALUE, in the plug-in's own units
        byText,      // --set-text NAME=TEXT, read by the plug-in's own parser
    };
    Kind kind = Kind::byTitle;
    std::string title;
    std::uint32_t id = 0;
    float value = 0.0f;                  // normalised, already checked to lie in [0, 1]
    double plain = 0.0;                  // for byPlain, a finite number
    std::string text;                    // for byText
    std::vector<std::string> valueNames; // for valueNames
    std::string valueName;               // for byValueName
    std::string argument;                // as typed, for messages
};

// How much of what follows the input's end is rendered.
struct TailChoice {
    enum class Kind {
        off,       // the output ends with the input
        plugin,    // as long as the plug-in says: none, a length, or until silent
        automatic, // the plug-in's length when it gives one, else until silent
        seconds,   // a fixed length
    };
    Kind kind = Kind::automatic;
    double seconds = 0.0; // for Kind::seconds
};

enum class FileFormat { wav, flac, aiff, ogg };
enum class SampleFormat { pcm16, pcm24, float32 };

// Nothing to run: print the help or the version and succeed.
struct HelpCommand {
    std::string text;
};

struct PluginsCommand {
    bool json = false;
    double scanTimeoutSeconds = 10.0; // per bundle
    std::vector<std::string> folders; // --folder: searched before the usual ones
    bool rescan = false;              // --rescan: ask every bundle, whatever the cache knows
};

// Hidden: lists one bundle's classes as JSON on standard output, for `plugins`,
// which runs it in a child process so that a bad plug-in takes only that down.
struct ScanOneCommand {
    std::string bundle;
};

struct ParamsCommand {
    std::string plugin;
    std::string pluginClass; // --class: a class name or id; empty for the library's choice
    bool json = false;
    // Applied before the listing, as `process` applies them: the values they give are shown.
    std::string preset;
    std::vector<ParameterSetting> settings;
};

// Every N-th input file, starting with the K-th (1-based): one machine's part.
struct Shard {
    unsigned index = 1; // K
    unsigned count = 1; // N
};

// One plug-in of `process`'s chain, with its own settings.
struct ChainStage {
    std::string plugin;
    std::vector<ParameterSetting> settings;
    std::string preset;      // a .vstpreset to restore before the settings; empty for none
    std::string savePreset;  // where to write the state the file was rendered with; empty for none
    std::string pluginClass; // --class: a class name or id; empty for the library's choice
};

// What every plug-in of `process` is played with besides the audio.
struct PlayingOptions {
    double tempo = 120.0;               // --tempo, in beats per minute
    int beatsPerBar = 4;                // --time-signature N/D: N
    int beatUnit = 4;                   // D
    std::uint32_t fixedBlockFrames = 0; // --fixed-block: the plug-ins' block size; 0 for --block's
};

struct ProcessCommand {
    // The plug-in argument, then one per --then, in order; never empty.
    std::vector<ChainStage> stages;
    std::string input;  // one file: input to output
    std::string output; // "-" for standard output
    // A batch: every input into outputFolder, under its own name.
    std::vector<std::string> inputs;
    std::string outputFolder;
    unsigned jobs = 0; // 0: one per core
    Shard shard;
    bool force = false;
    // 1024: what many plug-ins assume before a host has announced a block size,
    // and the only size some of them process (the installed ZamHeadX2).
    std::uint32_t blockFrames = 1024;
    bool bypass = false;
    bool compensateLatency = true;
    PlayingOptions playing;
    TailChoice tail;
    std::optional<FileFormat> format;
    std::optional<SampleFormat> subtype; // --subtype, or what --bits asks for
    std::optional<int> channels;         // --channels: 1 or 2; the input's unless given
    std::optional<int> sampleRate;       // --rate: the output's, resampled; the input's unless given
    bool dither = true;                  // for integer samples below 24 bits; --no-dither
};

// Shows the plug-in's own editor in a window and keeps the plug-in processing
// until the window is closed.
struct EditCommand {
    std::string plugin;
    std::string pluginClass;        // --class: a class name or id; empty for the library's choice
    std::string preset;             // restored before the editor opens; empty for none
    std::string savePreset;         // the state when the window closes; empty for none
    std::string input;              // played in a loop while the editor is open; empty for silence
    bool live = false;              // the sound input played through it instead
    std::string device;             // where a sound server plays it, as play's --device
    std::uint32_t bufferFrames = 0; // the server's period to ask for, as play's --buffer
};

// Plays a sound file, or the sound input, through a plug-in or a chain of them
// to a sound server in real time; or lists the server's devices.
struct PlayCommand {
    // The plug-ins and how they play, as `process` reads them (stages, playing,
    // bypass); its files are not used.
    ProcessCommand chain;
    std::string input; // the file; empty with --live
    bool live = false; // the sound input instead of a file
    bool loop = false;
    std::string device;             // --device: a client of the server; empty for the sound card
    std::uint32_t bufferFrames = 0; // --buffer: the server's period to ask for; 0 to keep its own
    bool listDevices = false;
};

struct DemoCommand {
    std::string output = "out/demo-output.wav";
};

using Command = std::variant<HelpCommand, PluginsCommand, ParamsCommand, ProcessCommand, DemoCommand,
                             ScanOneCommand, EditCommand, PlayCommand>;

// "ZamCompX2", or "plug-in 2 (ZamCompX2)" in a chain: how messages name a stage.
std::string stageName(const ProcessCommand& command, std::size_t index);

// Reads the arguments after the program name. No arguments, `help`, --help
// (after any command) and --version give a HelpCommand. Throws a usage
// ToolError for anything it cannot make sense of, including a parameter value
// that is not a number in [0, 1] and a value name that no earlier
// --value-names gave.
Command parseCommandLine(const std::vector<std::string>& arguments);
// The same, and whether -q/--quiet was given, before the command or after it.
Command parseCommandLine(const std::vector<std::string>& arguments, bool& quiet);

} // namespace varnelvst::tool
