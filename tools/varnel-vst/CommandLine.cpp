#include "CommandLine.h"

#include "EditCommandLine.h"
#include "NameMatch.h"
#include "PlayCommandLine.h"
#include "PlayingOptions.h"
#include "StageOptions.h"
#include "TextTable.h"
#include "ToolError.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <string_view>
#include <system_error>

namespace varnelvst::tool {
namespace {

constexpr std::uint32_t kLargestBlock = 1u << 20;

// Points at the help of the command the fault lies in.
std::string seeHelp(const CLI::App* command) {
    return " (see varnel-vst " + (command != nullptr ? command->get_name() + " " : "") + "--help)";
}

CLI::App* chosenCommand(const CLI::App& app) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    return chosen.empty() ? nullptr : chosen.front();
}

const std::map<std::string, FileFormat> kFileFormats{{"wav", FileFormat::wav},
                                                     {"flac", FileFormat::flac},
                                                     {"aiff", FileFormat::aiff},
                                                     {"ogg", FileFormat::ogg}};
const std::map<std::string, SampleFormat> kSampleFormats{
    {"pcm16", SampleFormat::pcm16}, {"pcm24", SampleFormat::pcm24}, {"float", SampleFormat::float32}};

// The whole text as one number of the type asked for; nothing when any of it is
// something else.
template <typename Number>
std::optional<Number> wholeNumber(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end)
        return std::nullopt;
    return value;
}

std::optional<double> finiteNumber(std::string_view text) {
    const std::optional<double> value = wholeNumber<double>(text);
    return value && std::isfinite(*value) ? value : std::nullopt;
}

// A plain value: any finite number; whether it lies in the parameter's range only
// the plug-in can tell.
double parsePlainValue(const std::string& text, const std::string& argument) {
    const std::optional<double> value = finiteNumber(text);
    if (!value)
        throw usageError("value '" + text + "' in '" + argument + "' is not a number");
    return *value;
}

// A normalised parameter value: the whole text must be a finite number in [0, 1].
float parseNormalisedValue(const std::string& text, const std::string& argument) {
    const double value = parsePlainValue(text, argument);
    if (value < 0.0 || value > 1.0)
        throw usageError("value '" + text + "' in '" + argument + "' lies outside [0, 1]");
    return static_cast<float>(value);
}

std::uint32_t parseParameterId(const std::string& text) {
    const std::optional<std::uint32_t> number = wholeNumber<std::uint32_t>(text);
    if (!number)
        throw usageError("parameter id '" + text + "' is not a whole number");
    return *number;
}

// Splits "NAME=VALUE" at the last '=', since a title may hold '=' but a value never does.
std::pair<std::string, std::string> splitAssignment(const std::string& text, const std::string& option) {
    const std::size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0)
        throw usageError(option + " takes NAME=VALUE, not '" + text + "'");
    return {text.substr(0, equals), text.substr(equals + 1)};
}

std::vector<std::string> splitNames(const std::string& list, const std::string& argument) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        names.push_back(list.substr(start, comma - start));
        if (names.back().empty())
            throw usageError("empty value name in '" + argument + "'");
        if (comma == list.size())
            return names;
        start = comma + 1;
    }
}

// The options of `process` that belong to one plug-in of the chain, checked as
// they come: they go to the plug-in named last (the plug-in argument, or the
// last --then before them).
class StageReader {
public:
    explicit StageReader(std::vector<ChainStage>& target) : stages(target) {}

    void then(const std::string& plugin) { stages.push_back(ChainStage{plugin, {}, {}, {}, {}}); }

    void preset(const std::string& file) { once(stages.back().preset, file, "--preset"); }
    void savePreset(const std::string& file) { once(stages.back().savePreset, file, "--save-preset"); }
    void pluginClass(const std::string& name) { once(stages.back().pluginClass, name, "--class"); }

    void set(const std::string& text) {
        const std::string argument = "--set " + text;
        auto [title, value] = splitAssignment(text, "--set");
        ParameterSetting setting;
        setting.title = title;
        setting.argument = argument;
        if (!value.empty() && value.front() == '@') {
            setting.kind = ParameterSetting::Kind::byValueName;
            setting.valueName = value.substr(1);
            // A name from --value-names, or the plug-in's own; the library refuses
            // one that is neither.
        } else {
            setting.kind = ParameterSetting::Kind::byTitle;
            setting.value = parseNormalisedValue(value, argument);
        }
        stages.back().settings.push_back(std::move(setting));
    }

    void setId(const std::string& text) {
        const std::string argument = "--set-id " + text;
        auto [id, value] = splitAssignment(text, "--set-id");
        ParameterSetting setting;
        setting.kind = ParameterSetting::Kind::byId;
        setting.id = parseParameterId(id);
        setting.value = parseNormalisedValue(value, argument);
        setting.argument = argument;
        stages.back().settings.push_back(std::move(setting));
    }

    void setPlain(const std::string& text) {
        const std::string argument = "--set-plain " + text;
        auto [title, value] = splitAssignment(text, "--set-plain");
        ParameterSetting setting;
        setting.kind = ParameterSetting::Kind::byPlain;
        setting.title = title;
        setting.plain = parsePlainValue(value, argument);
        setting.argument = argument;
        stages.back().settings.push_back(std::move(setting));
    }

    void setText(const std::string& text) {
        const std::string argument = "--set-text " + text;
        // The first '=': a plug-in's text ("x=2") may hold one more plausibly than a title.
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
            throw usageError("--set-text takes NAME=TEXT, not '" + text + "'");
        ParameterSetting setting;
        setting.kind = ParameterSetting::Kind::byText;
        setting.title = text.substr(0, equals);
        setting.text = text.substr(equals + 1);
        setting.argument = argument;
        stages.back().settings.push_back(std::move(setting));
    }

    void valueNames(const std::string& text) {
        const std::string argument = "--value-names " + text;
        // The first '=' here: the names may hold '=' more plausibly than a title does.
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos || equals == 0)
            throw usageError("--value-names takes NAME=a,b,c, not '" + text + "'");
        ParameterSetting setting;
        setting.kind = ParameterSetting::Kind::valueNames;
        setting.title = text.substr(0, equals);
        setting.valueNames = splitNames(text.substr(equals + 1), argument);
        setting.argument = argument;
        stages.back().settings.push_back(std::move(setting));
    }

private:
    void once(std::string& target, const std::string& file, const std::string& option) {
        if (!target.empty())
            throw usageError(option + " is given twice for one plug-in; each plug-in of a chain takes its "
                                      "own after its --then");
        if (file.empty())
            throw usageError(option + " needs a " + (option == "--class" ? "class name or id" : "file name"));
        target = file;
    }

    // A value name is checked here, against the names an earlier --value-names
    // gave, because the library would quietly set 0 for a name it never heard.
    std::vector<ChainStage>& stages;
};

// "off", "plugin", "auto" or a number of seconds from 0 to 3600.
TailChoice parseTail(const std::string& text) {
    if (text == "off")
        return {TailChoice::Kind::off};
    if (text == "auto")
        return {TailChoice::Kind::automatic};
    if (text == "plugin")
        return {TailChoice::Kind::plugin};
    const std::optional<double> seconds = finiteNumber(text);
    if (!seconds || *seconds < 0.0 || *seconds > 3600.0)
        throw usageError("--tail takes off, auto, plugin or a number of seconds from 0 to 3600, not '" +
                         text + "'");
    return {TailChoice::Kind::seconds, *seconds};
}

template <typename Choice>
void addChoice(CLI::App& command, const std::string& name, const std::map<std::string, Choice>& choices,
               std::optional<Choice>& target, const std::string& description) {
    command
        .add_option_function<std::string>(
            name, [&choices, &target](const std::string& text) { target = choices.at(text); }, description)
        ->transform(CLI::IsMember(choices, CLI::ignore_case));
}

// Read as CLI11 meets it, so that the settings keep the command line's order
// across the three setting options.
void addSettingOption(CLI::App& command, const std::string& name, const std::string& form,
                      const std::string& description, std::function<void(const std::string&)> read) {
    command.add_option_function<std::string>(name, std::move(read), description)
        ->type_name(form)
        ->trigger_on_parse();
}

void addPluginArgument(CLI::App& command, std::string& target) {
    command
        .add_option("plugin", target,
                    "Bundle name (ZamCompX2 or ZamCompX2.vst3), a plug-in's name, or a path")
        ->required();
}

// The extra argument that came first on the command line.
std::string firstOf(const std::vector<std::string>& extras, const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (std::find(extras.begin(), extras.end(), argument) != extras.end())
            return argument;
    }
    return extras.front();
}

// The options of `command` (the commands of the tool without one) close to a
// mistyped one.
std::string suggestionsFor(const std::string& argument, const CLI::App& app, const CLI::App* command) {
    std::vector<std::string> names;
    if (command == nullptr) {
        for (const CLI::App* each :
             app.get_subcommands([](const CLI::App* one) { return !one->get_group().empty(); }))
            names.push_back(each->get_name());
    } else {
        for (const CLI::Option* option : command->get_options()) {
            for (const std::string& name : option->get_lnames())
                names.push_back("--" + name);
        }
    }
    const std::string typed = argument.substr(0, argument.find('='));
    return didYouMean(similarNames(names, typed));
}

ToolError unexpected(const std::string& argument, const CLI::App& app, const CLI::App* command) {
    const bool option = argument.size() > 1 && argument.front() == '-';
    const std::string suggestions =
        option || command == nullptr ? suggestionsFor(argument, app, command) : "";
    if (command == nullptr)
        return usageError((option ? "unknown option '" : "unknown command '") + argument + "'" + suggestions +
                          seeHelp(command));
    return usageError((option ? "unknown option '" : "unexpected argument '") + argument + "' for " +
                      command->get_name() + suggestions + seeHelp(command));
}

constexpr const char* kPluginFooter =
    R"(plugin is a bundle name (ZamCompX2 or ZamCompX2.vst3) looked up in /usr/lib/vst3,
then $HOME/.vst3 and /usr/local/lib/vst3, or the name a plug-in shows (as
plugins lists it; of a bundle of several, that one is loaded); names match but
for case when that is unambiguous. Anything with a '/' is a path to a bundle
folder or its .so. Options and their choices match but for case too; mistyped
names and options get suggestions.)";

constexpr const char* kClassHelp =
    "Load this audio module class of a bundle that declares several, by name or class id (plugins "
    "--json gives both; default: the last one)";

constexpr const char* kPluginsFooter =
    R"(Searches the --folder folders, those of VST3_PATH (separated by ':'),
$HOME/.vst3, /usr/lib/vst3 and /usr/local/lib/vst3 (and the folders inside
them) and shows name, vendor, category, sub-categories, version and bundle of
every audio module class. Each bundle is asked in a child process, several at
once; what they said is kept in $XDG_CACHE_HOME/varnel-vst/plugins.json
($HOME/.cache without it), and a bundle whose library has the same size and
time of change is not asked again: one that crashed stays listed as such
until it changes (--rescan asks them all).)";

constexpr const char* kParamsFooter =
    R"(Shows id, title, units, default, step count, the read-only and hidden flags,
the current normalised value with the plug-in's text for it, the plain range
and default in the plug-in's own units (what process --set-plain takes), and
the plug-in's names for the values of stepped parameters (what --set-text
takes). --json gives them as "plain" {min, max, default, value} and
"valueNames". --preset and the parameter options take effect first, as process
applies them, so the listing shows the values a render would use.)";

constexpr const char* kProcessFooter =
    R"(--preset is restored first, then the parameter options apply in the order
given. --set takes normalised values (0 to 1); --set-plain takes a number in the
plug-in's own units (--set-plain Threshold=-24 for -24 dB); --set-text takes
text the plug-in reads itself, such as a step's name as params lists it
(--set-text "Threshold=-24 dB"). Many plug-ins' controllers give a plain range
of 0 to 1 whatever their units (params shows plain min 0 and max 1): for them
--set-plain Gain=-6 is refused, and --set-text "Gain=-6 dB" sets -6 dB. NAME=@b
in --set stands for the value the name b from an earlier --value-names gives
(given one name per step, name i selects step i), or for the plug-in's own name
b of a step, as params lists it. Titles and value names match as typed, else
without regard to case when that is unambiguous. A setting the plug-in does not
take (an unknown title, a read-only parameter, a plain value outside its range,
text it does not read as a value in its range) is refused with exit status 2
and what the parameter takes; the summary lists every setting with the value
the plug-in shows for it.
--save-preset writes the plug-in's state after the render, so the preset holds
the settings the file was rendered with.

The plug-ins get a stereo signal (a mono file as two equal channels) at the
input's rate. The output keeps the input's channels, rate and sample format
unless -c/--channels (1 is the mean of the two channels), -r/--rate (resampled
by libsoxr at its very high quality) or -b/--bits (16 or 24 bits integer, 32
bits float) say otherwise. Integer samples are rounded to the nearest step;
below 24 bits TPDF dither of one step comes first (from a fixed seed, so that
reruns give the same bytes) unless --no-dither, and leaves samples that lie on
a step alone, so silence and a sound the plug-ins left as it was stay exact.

The plug-in is told the block size and offline rendering; it always gets whole
blocks (the input is padded with silence). The output lines up with the input:
the plug-in's latency, as it stands once the settings have reached it, is taken
off its start (at most 30 s of it), unless --no-latency-compensation. After the
input's end comes the tail: --tail auto renders the length the plug-in reports,
or, when it reports none or an endless one (many reverbs report none), renders
until the output stays below -120 dBFS, or 100 dB below its own peak, for 4 s
(not written), or stops decaying: its peak over the last 4 s is not 1 dB below
the 4 s before (a noise floor, dither, a DC offset; written up to where that
level began); at most 30 s. Echoes up to 3 s apart, silence between them, are
kept. --tail plugin takes the plug-in's word, also for none, and renders an
endless tail until silent.

--fixed-block N hands every plug-in blocks of exactly N frames, whatever --block
reads, for plug-ins that process one block size only; the N frames of delay are
compensated like any latency. --tempo and --time-signature are what tempo-synced
plug-ins play to (120 BPM in 4/4 unless given); every file starts on the first
beat.

A chain: each --then PLUGIN adds a plug-in after the ones before it, and the
--class, --preset, --save-preset and parameter options after it are its own. Latency is
compensated for the chain as a whole and the tail is the sum of the plug-ins'
tails.

The output's extension chooses its format unless --format does: .wav, .flac,
.aiff, .ogg (Vorbis), .opus (Opus, at 8 to 48 kHz only), .mp3 and the others
libsndfile writes. A regular file is written unnamed in its folder (or beside
itself) and linked into place when all worked, so not even a kill leaves a
temporary file; '-', a device or a FIFO gets the sound as it is rendered (WAV of
unknown length; no AIFF), except standard output redirected into a file, which
gets a complete header; a link's target is written. A plug-in that crashes the
render ends it with one line naming it and the signal. No file is written that the command reads (the input, a --preset) or
writes otherwise (the output, a --save-preset): such a command is refused.

A batch (--output-dir) runs --jobs files at once in worker processes, each file
in fresh plug-ins as its own run would be, and reports every file; a file that
fails, or that a plug-in crashes on, leaves nothing. --shard K/N splits one
batch between N machines: every N-th file from the K-th of the files sorted by
path (bytes, not the shell's order); each refuses what the whole batch would.)";

constexpr const char* kDemoFooter =
    R"(Writes the test signal as demo-input.wav beside the output, so that the two
can be compared by ear.)";

Shard parseShard(const std::string& text) {
    const std::size_t slash = text.find('/');
    const std::string_view whole = text;
    const std::optional<unsigned> index =
        slash == std::string::npos ? std::nullopt : wholeNumber<unsigned>(whole.substr(0, slash));
    const std::optional<unsigned> count =
        slash == std::string::npos ? std::nullopt : wholeNumber<unsigned>(whole.substr(slash + 1));
    if (!index || !count || *index < 1 || *index > *count)
        throw usageError("--shard takes K/N with 1 <= K <= N, not '" + text +
                         "' (see varnel-vst process --help)");
    return Shard{*index, *count};
}

void readProcessFiles(ProcessCommand& process, const std::vector<std::string>& files,
                      const std::string& shard) {
    if (!shard.empty())
        process.shard = parseShard(shard);
    if (!process.outputFolder.empty()) {
        process.inputs = files;
        return;
    }
    if (files.size() != 2)
        throw usageError(std::string(files.size() < 2 ? "process needs an input and an output file"
                                                      : "process takes one input and one output file") +
                         "; several inputs go with --output-dir (see varnel-vst process --help)");
    if (!shard.empty() || process.jobs != 0)
        throw usageError(
            "--shard and --jobs belong to a batch with --output-dir (see varnel-vst process --help)");
    process.input = files[0];
    process.output = files[1];
}

// What `process` collects while CLI11 reads the command line; the stage
// options go straight into the command's chain, in order.
struct ProcessArguments {
    ProcessCommand command;
    StageReader settings{command.stages};
    std::string firstPlugin;
    std::vector<std::string> files;
    std::string shard;

    ProcessArguments() { command.stages.resize(1); }
    ProcessArguments(const ProcessArguments&) = delete;
    ProcessArguments& operator=(const ProcessArguments&) = delete;

    ProcessCommand finish() {
        command.stages.front().plugin = firstPlugin;
        readProcessFiles(command, files, shard);
        return std::move(command);
    }
};

void addRootOptions(CLI::App& app) {
    app.require_subcommand(0, 1);
    // Inherited by every option of every command: --Set is --set. No two of them
    // differ only in case.
    app.option_defaults()->ignore_case();
    // Extras are collected, not refused, so that the message can name the first one.
    app.allow_extras();
    app.set_version_flag("--version", "varnel-vst " VARNELVST_VERSION, "Print the version and exit");
    app.add_subcommand("help", "Print this help");
}

CLI::App& addPluginsCommand(CLI::App& app, PluginsCommand& plugins) {
    CLI::App& command = *app.add_subcommand("plugins", "List the installed VST 3 plug-ins");
    command.footer(kPluginsFooter);
    command.add_flag("--json", plugins.json, "Write JSON");
    command
        .add_option("--scan-timeout", plugins.scanTimeoutSeconds,
                    "Seconds a bundle may take to describe itself before it is given up")
        ->type_name("SECONDS")
        ->capture_default_str()
        ->check(CLI::Range(0.001, 3600.0).description(""));
    command
        .add_option("--folder", plugins.folders, "Search this folder too, before the usual ones (repeatable)")
        ->type_name("DIR");
    command.add_flag("--rescan", plugins.rescan, "Ask every bundle again, whatever the scan cache knows");
    return command;
}

CLI::App& addScanOneCommand(CLI::App& app, ScanOneCommand& scanOne) {
    CLI::App& command = *app.add_subcommand("scan-one", "Describe one bundle as JSON (used by plugins)");
    command.group(""); // hidden: an internal step, not a command for people
    command.add_option("bundle", scanOne.bundle, "Bundle path")->required();
    return command;
}

void addSettingOptions(CLI::App& command, StageReader settings);

// What `params` collects while CLI11 reads the command line: its settings as
// one stage's.
struct ParamsArguments {
    ParamsCommand command;
    std::vector<ChainStage> stage{1};
    StageReader settings{stage};

    ParamsCommand finish() {
        command.preset = stage.front().preset;
        command.settings = stage.front().settings;
        return command;
    }
};

CLI::App& addParamsCommand(CLI::App& app, ParamsArguments& params) {
    CLI::App& command = *app.add_subcommand("params", "List a plug-in's parameters and their values");
    command.footer(std::string(kParamsFooter) + "\n\n" + kPluginFooter);
    addPluginArgument(command, params.command.plugin);
    command.add_flag("--json", params.command.json, "Write JSON");
    command.add_option("--class", params.command.pluginClass, kClassHelp)->type_name("NAME|ID");
    addSettingOptions(command, params.settings);
    return command;
}

// Channels, rate and depth of the output, as sox names them.
void addOutputShapeOptions(CLI::App& command, ProcessCommand& target) {
    command.add_option("-c,--channels", target.channels, "Output channels, 1 or 2 (default: the input's)")
        ->type_name("1|2")
        ->check(CLI::IsMember({1, 2}).description(""));
    command
        .add_option("-r,--rate", target.sampleRate,
                    "Output sample rate in Hz, resampled after the plug-ins (default: the input's)")
        ->type_name("HZ")
        ->check(CLI::Range(1000, 768000).description(""));
    command
        .add_option_function<int>(
            "-b,--bits",
            [&target](int bits) {
                if (target.subtype)
                    throw usageError("--bits and --subtype both choose the sample format: give one "
                                     "(see varnel-vst process --help)");
                target.subtype = bits == 16   ? SampleFormat::pcm16
                                 : bits == 24 ? SampleFormat::pcm24
                                              : SampleFormat::float32;
            },
            "Output bits per sample: 16 or 24 (integer) or 32 (float)")
        ->type_name("16|24|32")
        ->check(CLI::IsMember({16, 24, 32}).description(""));
    command.add_flag_callback(
        "--no-dither", [&target] { target.dither = false; }, "Round to 16 bits or fewer without TPDF dither");
}

// The files, the batch and the rendering options of `process`.
void addProcessFileOptions(CLI::App& command, ProcessArguments& process) {
    ProcessCommand& target = process.command;
    command
        .add_option("files", process.files,
                    "in out: the sound file to read (mono or stereo) and the one to write, only when "
                    "everything worked ('-': WAV to standard output); with --output-dir, every file to read")
        ->required();
    command
        .add_option("--output-dir", target.outputFolder,
                    "Process every file given into this folder, under its own name")
        ->type_name("DIR");
    // Each job is a worker process of its own; more than 64 would only crowd the machine.
    command.add_option("--jobs", target.jobs, "Files processed at once in a batch (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(1u, 64u).description(""));
    command
        .add_option("--shard", process.shard,
                    "Process only every N-th file, starting with the K-th (K of 1..N)")
        ->type_name("K/N");
    command.add_flag("--force", target.force, "Replace an output file even when it is read-only");
    command
        .add_option("--block", target.blockFrames, "Frames per block, 1 to " + std::to_string(kLargestBlock))
        ->type_name("N")
        ->capture_default_str()
        ->check(CLI::Range(1u, kLargestBlock).description(""));
    addPlayingOptions(command, target.playing);
    command.add_flag("--bypass", target.bypass, "Pass the audio through without the plug-in");
    command.add_flag_callback(
        "--no-latency-compensation", [&target] { target.compensateLatency = false; },
        "Keep the plug-in's delay at the start of the output");
    command
        .add_option_function<std::string>(
            "--tail", [&target](const std::string& text) { target.tail = parseTail(text); },
            "What follows the input's end: off, auto (default), plugin or SECONDS")
        ->type_name("off|auto|plugin|SECONDS");
    addChoice(command, "--format", kFileFormats, target.format,
              "Output file format (default: by the output's extension, else the input's)");
    addChoice(command, "--subtype", kSampleFormats, target.subtype,
              "Output sample format (default: the input's)");
    addOutputShapeOptions(command, target);
}

// The options that belong to one plug-in of the chain: to the plug-in argument,
// or to the --then before them. Each option keeps a reader of its own, which
// holds no more than the chain it reads into.
// The options that set a plug-in's parameters, for `process` and `params`.
void addSettingOptions(CLI::App& command, StageReader settings) {
    addSettingOption(command, "--set", "NAME=VALUE",
                     "Set the parameter titled NAME to a normalised VALUE in [0, 1]",
                     [settings](const std::string& text) mutable { settings.set(text); });
    addSettingOption(command, "--set-id", "ID=VALUE", "The same, by parameter id",
                     [settings](const std::string& text) mutable { settings.setId(text); });
    addSettingOption(command, "--set-plain", "NAME=VALUE",
                     "Set the parameter titled NAME to VALUE in its own units",
                     [settings](const std::string& text) mutable { settings.setPlain(text); });
    addSettingOption(command, "--set-text", "NAME=TEXT",
                     "Set the parameter titled NAME to what the plug-in reads in TEXT",
                     [settings](const std::string& text) mutable { settings.setText(text); });
    addSettingOption(command, "--value-names", "NAME=a,b,c", "Name the values of NAME in ascending order",
                     [settings](const std::string& text) mutable { settings.valueNames(text); });
    addSettingOption(command, "--preset", "FILE", "Restore this .vstpreset before the settings",
                     [settings](const std::string& file) mutable { settings.preset(file); });
}

void addProcessStageOptions(CLI::App& command, StageReader settings) {
    addSettingOptions(command, settings);
    addSettingOption(command, "--save-preset", "FILE", "Write the plug-in's state as a .vstpreset",
                     [settings](const std::string& file) mutable { settings.savePreset(file); });
    addSettingOption(command, "--class", "NAME|ID", kClassHelp,
                     [settings](const std::string& name) mutable { settings.pluginClass(name); });
    addSettingOption(command, "--then", "PLUGIN",
                     "Run the result through PLUGIN too; the plug-in options that follow are its own",
                     [settings](const std::string& plugin) mutable { settings.then(plugin); });
}

CLI::App& addEditCommand(CLI::App& app, EditCommand& edit) {
    CLI::App& command = *app.add_subcommand("edit", "Show a plug-in's own editor and keep it processing");
    command.footer(std::string(kEditFooter) + "\n\n" + kPluginFooter);
    addPluginArgument(command, edit.plugin);
    command.add_option("--class", edit.pluginClass, kClassHelp)->type_name("NAME|ID");
    addEditOptions(command, edit);
    return command;
}

CLI::App& addProcessCommand(CLI::App& app, ProcessArguments& process) {
    CLI::App& command = *app.add_subcommand("process", "Run a sound file through a plug-in");
    command.footer(std::string(kProcessFooter) + "\n\n" + kPluginFooter);
    addPluginArgument(command, process.firstPlugin);
    addProcessFileOptions(command, process);
    addProcessStageOptions(command, process.settings);
    return command;
}

CLI::App& addDemoCommand(CLI::App& app, DemoCommand& demo) {
    CLI::App& command = *app.add_subcommand("demo", "Run a test signal through ZamCompX2");
    command.footer(kDemoFooter);
    command.add_option("output", demo.output, "Output file")->capture_default_str();
    return command;
}

// -q, --quiet before the command or after it, as sox users give it: on the tool
// and on every command people use.
void addQuietFlag(CLI::App& app, bool& quiet) {
    const std::string help = "Drop notes, warnings, progress and what plug-ins print; errors still show";
    app.add_flag("-q,--quiet", quiet, help);
    for (CLI::App* command :
         app.get_subcommands([](const CLI::App* one) { return !one->get_group().empty(); })) {
        if (command->get_name() != "help")
            command->add_flag("-q,--quiet", quiet, help);
    }
}

// Help and version answer at once; anything CLI11 cannot read is a usage error.
std::optional<HelpCommand> parseArguments(CLI::App& app, const std::vector<std::string>& arguments) {
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return HelpCommand{app.help()};
    } catch (const CLI::CallForVersion& version) {
        return HelpCommand{std::string(version.what()) + "\n"};
    } catch (const CLI::ParseError& error) {
        throw usageError(error.what() + seeHelp(chosenCommand(app)));
    }
    if (const std::vector<std::string> extras = app.remaining(true); !extras.empty())
        throw unexpected(firstOf(extras, arguments), app, chosenCommand(app));
    return std::nullopt;
}

} // namespace

const char* const kPluginArgumentHelp = kPluginFooter;

void addChainStageOptions(CLI::App& command, std::vector<ChainStage>& stages) {
    addProcessStageOptions(command, StageReader(stages));
}

std::string stageName(const ProcessCommand& command, std::size_t index) {
    const std::string& plugin = command.stages[index].plugin;
    if (command.stages.size() == 1)
        return plugin;
    return "plug-in " + std::to_string(index + 1) + " (" + plugin + ")";
}

Command parseCommandLine(const std::vector<std::string>& arguments) {
    bool quiet = false;
    return parseCommandLine(arguments, quiet);
}

Command parseCommandLine(const std::vector<std::string>& arguments, bool& quiet) {
    CLI::App app("varnel-vst: VST 3 effects from the command line, hosted by VarnelVST.", "varnel-vst");
    addRootOptions(app);
    PluginsCommand plugins;
    const CLI::App& pluginsApp = addPluginsCommand(app, plugins);
    ScanOneCommand scanOne;
    const CLI::App& scanOneApp = addScanOneCommand(app, scanOne);
    ParamsArguments params;
    const CLI::App& paramsApp = addParamsCommand(app, params);
    ProcessArguments process;
    const CLI::App& processApp = addProcessCommand(app, process);
    DemoCommand demo;
    const CLI::App& demoApp = addDemoCommand(app, demo);
    EditCommand edit;
    const CLI::App& editApp = addEditCommand(app, edit);
    PlayArguments play;
    const CLI::App& playApp = addPlayCommand(app, play);
    addQuietFlag(app, quiet);
    // Last, so that the commands do not inherit it.
    app.footer(std::string(kPluginFooter) + "\n\nExit status: 0 done, 1 failed, 2 wrong command line.");

    if (std::optional<HelpCommand> help = parseArguments(app, arguments))
        return *help;
    const CLI::App* const chosen = chosenCommand(app);
    if (chosen == &pluginsApp)
        return plugins;
    if (chosen == &paramsApp)
        return params.finish();
    if (chosen == &processApp)
        return process.finish();
    if (chosen == &scanOneApp)
        return scanOne;
    if (chosen == &demoApp)
        return demo;
    if (chosen == &editApp)
        return edit;
    if (chosen == &playApp)
        return play.finish();
    return HelpCommand{app.get_formatter()->make_help(&app, "varnel-vst", CLI::AppFormatMode::Normal)};
}

} // namespace varnelvst::tool
