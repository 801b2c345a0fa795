#include "CommandLine.h"

#include "EditCommandLine.h"
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

    void then(const std::string& plugin) {
        stages.push_back(ChainStage{plugin, {}, {}, {}});
        givenNames.clear();
    }

    void preset(const std::string& file) { once(stages.back().preset, file, "--preset"); }
    void savePreset(const std::string& file) { once(stages.back().savePreset, file, "--save-preset"); }

    void set(const std::string& text) {
        const std::string argument = "--set " + text;
        auto [title, value] = splitAssignment(text, "--set");
        ParameterSetting setting;
        setting.title = title;
        setting.argument = argument;
        if (!value.empty() && value.front() == '@') {
            setting.kind = ParameterSetting::Kind::byValueName;
            setting.valueName = value.substr(1);
            requireGivenName(title, setting.valueName, argument);
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
        givenNames[setting.title] = setting.valueNames;
        stages.back().settings.push_back(std::move(setting));
    }

private:
    void once(std::string& target, const std::string& file, const std::string& option) {
        if (!target.empty())
            throw usageError(option + " is given twice for one plug-in; each plug-in of a chain takes its "
                                      "own after its --then");
        if (file.empty())
            throw usageError(option + " needs a file name");
        target = file;
    }

    // A value name is checked here, against the names an earlier --value-names
    // gave, because the library would quietly set 0 for a name it never heard.
    void requireGivenName(const std::string& title, const std::string& name, const std::string& argument) {
        const auto given = givenNames.find(title);
        if (given == givenNames.end())
            throw usageError("'" + argument + "': name the values of " + title +
                             " first with --value-names " + title + "=...");
        if (std::find(given->second.begin(), given->second.end(), name) == given->second.end())
            throw usageError("'" + argument + "': " + name + " is not one of " + title + "'s value names (" +
                             joined(given->second, ", ") + ")");
    }

    std::vector<ChainStage>& stages;
    std::map<std::string, std::vector<std::string>> givenNames;
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
        ->check(CLI::IsMember(choices));
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
    command.add_option("plugin", target, "Bundle name (ZamCompX2 or ZamCompX2.vst3) or path")->required();
}

// The extra argument that came first on the command line.
std::string firstOf(const std::vector<std::string>& extras, const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (std::find(extras.begin(), extras.end(), argument) != extras.end())
            return argument;
    }
    return extras.front();
}

ToolError unexpected(const std::string& argument, const CLI::App* command) {
    const bool option = argument.size() > 1 && argument.front() == '-';
    if (command == nullptr)
        return usageError((option ? "unknown option '" : "unknown command '") + argument + "'" +
                          seeHelp(command));
    return usageError((option ? "unknown option '" : "unexpected argument '") + argument + "' for " +
                      command->get_name() + seeHelp(command));
}

constexpr const char* kPluginFooter =
    R"(plugin is a bundle name (ZamCompX2 or ZamCompX2.vst3) looked up in /usr/lib/vst3,
then $HOME/.vst3 and /usr/local/lib/vst3; anything with a '/' is a path to a
bundle folder or its .so.)";

constexpr const char* kPluginsFooter =
    R"(Searches $HOME/.vst3, /usr/lib/vst3 and /usr/local/lib/vst3 (and the folders
inside them) and shows name, vendor, category, sub-categories, version and
bundle of every audio module class.)";

constexpr const char* kParamsFooter =
    R"(Shows id, title, units, default, step count, the read-only and hidden flags,
the current normalised value with the plug-in's text for it, the plain range
and default in the plug-in's own units (what process --set-plain takes), and
the plug-in's names for the values of stepped parameters (what --set-text
takes). --json gives them as "plain" {min, max, default, value} and
"valueNames".)";

constexpr const char* kProcessFooter =
    R"(--preset is restored first, then the parameter options apply in the order
given. --set takes normalised values (0 to 1); --set-plain takes a number in the
plug-in's own units (--set-plain Threshold=-24 for -24 dB); --set-text takes
text the plug-in reads itself, such as a step's name as params lists it
(--set-text "Threshold=-24 dB"). NAME=@b in --set stands for the value the
name b from an earlier --value-names gives: name i of n stands for i / n.
--save-preset writes the plug-in's state after the render, so the preset holds
the settings the file was rendered with. Mono input is processed as two equal
channels.

The plug-in is told the block size and offline rendering; it always gets whole
blocks (the input is padded with silence). The output lines up with the input:
the plug-in's latency is taken off its start, unless --no-latency-compensation.
After the input's end comes the tail: --tail auto renders the length the plug-in
reports, or, when it reports none or an endless one (many reverbs report none),
renders until the output stays below -120 dBFS for one second, at most 30 s; the
silent second is not written. --tail plugin takes the plug-in's word, also for
none.

A chain: each --then PLUGIN adds a plug-in after the ones before it, and the
--preset, --save-preset and parameter options after it are its own. Latency is
compensated for the chain as a whole and the tail is the sum of the plug-ins'
tails.

The output's extension chooses its format unless --format does. A regular file
is written beside itself and renamed into place; a device or a FIFO is written
into; a link's target is written. The input file is never the output.

A batch (--output-dir) runs --jobs files at once, each with its own plug-in,
and reports every file; a file that fails leaves nothing. --shard K/N splits
one batch between N machines.)";

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

} // namespace

Command parseCommandLine(const std::vector<std::string>& arguments) {
    CLI::App app("varnel-vst: VST 3 effects from the command line, hosted by VarnelVST.", "varnel-vst");
    app.require_subcommand(0, 1);
    // Extras are collected, not refused, so that the message can name the first one.
    app.allow_extras();
    app.set_version_flag("--version", "varnel-vst " VARNELVST_VERSION, "Print the version and exit");
    app.add_subcommand("help", "Print this help");

    PluginsCommand plugins;
    CLI::App& pluginsApp = *app.add_subcommand("plugins", "List the installed VST 3 plug-ins");
    pluginsApp.footer(kPluginsFooter);
    pluginsApp.add_flag("--json", plugins.json, "Write JSON");
    pluginsApp
        .add_option("--scan-timeout", plugins.scanTimeoutSeconds,
                    "Seconds a bundle may take to describe itself before it is given up")
        ->type_name("SECONDS")
        ->capture_default_str()
        ->check(CLI::Range(0.001, 3600.0).description(""));

    ScanOneCommand scanOne;
    CLI::App& scanOneApp = *app.add_subcommand("scan-one", "Describe one bundle as JSON (used by plugins)");
    scanOneApp.group(""); // hidden: an internal step, not a command for people
    scanOneApp.add_option("bundle", scanOne.bundle, "Bundle path")->required();

    ParamsCommand params;
    CLI::App& paramsApp = *app.add_subcommand("params", "List a plug-in's parameters and their values");
    paramsApp.footer(std::string(kParamsFooter) + "\n\n" + kPluginFooter);
    addPluginArgument(paramsApp, params.plugin);
    paramsApp.add_flag("--json", params.json, "Write JSON");

    ProcessCommand process;
    process.stages.resize(1);
    StageReader settings(process.stages);
    CLI::App& processApp = *app.add_subcommand("process", "Run a sound file through a plug-in");
    processApp.footer(std::string(kProcessFooter) + "\n\n" + kPluginFooter);
    std::string firstPlugin;
    addPluginArgument(processApp, firstPlugin);
    std::vector<std::string> files;
    processApp
        .add_option("files", files,
                    "in out: the sound file to read (mono or stereo) and the one to write, only when "
                    "everything worked ('-': WAV to standard output); with --output-dir, every file to read")
        ->required();
    processApp
        .add_option("--output-dir", process.outputFolder,
                    "Process every file given into this folder, under its own name")
        ->type_name("DIR");
    // At most 64: each job holds one temporary file, and the interrupt handler's
    // table of them is fixed in size (TemporaryFiles.cpp).
    processApp
        .add_option("--jobs", process.jobs, "Files processed at once in a batch (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(1u, 64u).description(""));
    std::string shard;
    processApp
        .add_option("--shard", shard, "Process only every N-th file, starting with the K-th (K of 1..N)")
        ->type_name("K/N");
    processApp.add_flag("--force", process.force, "Replace an output file even when it is read-only");
    addSettingOption(processApp, "--set", "NAME=VALUE",
                     "Set the parameter titled NAME to a normalised VALUE in [0, 1]",
                     [&](const std::string& text) { settings.set(text); });
    addSettingOption(processApp, "--set-id", "ID=VALUE", "The same, by parameter id",
                     [&](const std::string& text) { settings.setId(text); });
    addSettingOption(processApp, "--set-plain", "NAME=VALUE",
                     "Set the parameter titled NAME to VALUE in its own units",
                     [&](const std::string& text) { settings.setPlain(text); });
    addSettingOption(processApp, "--set-text", "NAME=TEXT",
                     "Set the parameter titled NAME to what the plug-in reads in TEXT",
                     [&](const std::string& text) { settings.setText(text); });
    addSettingOption(processApp, "--value-names", "NAME=a,b,c", "Name the values of NAME in ascending order",
                     [&](const std::string& text) { settings.valueNames(text); });
    addSettingOption(processApp, "--preset", "FILE", "Restore this .vstpreset before the settings",
                     [&](const std::string& file) { settings.preset(file); });
    addSettingOption(processApp, "--save-preset", "FILE", "Write the plug-in's state as a .vstpreset",
                     [&](const std::string& file) { settings.savePreset(file); });
    addSettingOption(processApp, "--then", "PLUGIN",
                     "Run the result through PLUGIN too; the plug-in options that follow are its own",
                     [&](const std::string& plugin) { settings.then(plugin); });
    processApp
        .add_option("--block", process.blockFrames, "Frames per block, 1 to " + std::to_string(kLargestBlock))
        ->type_name("N")
        ->capture_default_str()
        ->check(CLI::Range(1u, kLargestBlock).description(""));
    processApp.add_flag("--bypass", process.bypass, "Pass the audio through without the plug-in");
    processApp.add_flag_callback(
        "--no-latency-compensation", [&process] { process.compensateLatency = false; },
        "Keep the plug-in's delay at the start of the output");
    processApp
        .add_option_function<std::string>(
            "--tail", [&process](const std::string& text) { process.tail = parseTail(text); },
            "What follows the input's end: off, auto (default), plugin or SECONDS")
        ->type_name("off|auto|plugin|SECONDS");
    addChoice(processApp, "--format", kFileFormats, process.format,
              "Output file format (default: by the output's extension, else the input's)");
    addChoice(processApp, "--subtype", kSampleFormats, process.subtype,
              "Output sample format (default: the input's)");

    EditCommand edit;
    CLI::App& editApp = *app.add_subcommand("edit", "Show a plug-in's own editor and keep it processing");
    editApp.footer(std::string(kEditFooter) + "\n\n" + kPluginFooter);
    addPluginArgument(editApp, edit.plugin);
    addEditOptions(editApp, edit);

    DemoCommand demo;
    CLI::App& demoApp = *app.add_subcommand("demo", "Run a test signal through ZamCompX2");
    demoApp.footer(kDemoFooter);
    demoApp.add_option("output", demo.output, "Output file")->capture_default_str();

    // Last, so that the commands do not inherit it.
    app.footer(std::string(kPluginFooter) + "\n\nExit status: 0 done, 1 failed, 2 wrong command line.");

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

    CLI::App* const chosen = chosenCommand(app);
    if (const std::vector<std::string> extras = app.remaining(true); !extras.empty())
        throw unexpected(firstOf(extras, arguments), chosen);
    if (chosen == &pluginsApp)
        return plugins;
    if (chosen == &paramsApp)
        return params;
    if (chosen == &processApp) {
        process.stages.front().plugin = firstPlugin;
        readProcessFiles(process, files, shard);
        return process;
    }
    if (chosen == &scanOneApp)
        return scanOne;
    if (chosen == &demoApp)
        return demo;
    if (chosen == &editApp)
        return edit;
    return HelpCommand{app.get_formatter()->make_help(&app, "varnel-vst", CLI::AppFormatMode::Normal)};
}

} // namespace varnelvst::tool
