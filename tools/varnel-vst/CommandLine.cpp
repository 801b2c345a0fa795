#include "CommandLine.h"

#include "ToolError.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <system_error>

namespace varnelvst::tool {
namespace {

constexpr std::uint32_t kLargestBlock = 1u << 20;

const std::string kSeeHelp = " (see varnel-vst --help)";

// "--option=value" and "--option value" mean the same.
struct Arguments {
    explicit Arguments(const std::vector<std::string>& given) {
        for (const std::string& argument : given) {
            const std::size_t equals = argument.find('=');
            if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
                items.push_back(argument.substr(0, equals));
                items.push_back(argument.substr(equals + 1));
            } else {
                items.push_back(argument);
            }
        }
    }

    bool done() const { return next >= items.size(); }
    const std::string& take() { return items[next++]; }

    const std::string& valueOf(const std::string& option) {
        if (done())
            throw usageError(option + " needs a value" + kSeeHelp);
        return take();
    }

    std::vector<std::string> items;
    std::size_t next = 0;
};

bool isOption(const std::string& argument) {
    return argument.size() > 1 && argument[0] == '-';
}

// A normalised parameter value: the whole text must be a finite number in [0, 1].
float parseNormalisedValue(const std::string& text, const std::string& argument) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(value))
        throw usageError("value '" + text + "' in '" + argument + "' is not a number");
    if (value < 0.0 || value > 1.0)
        throw usageError("value '" + text + "' in '" + argument + "' lies outside [0, 1]");
    return static_cast<float>(value);
}

std::uint32_t parseWholeNumber(const std::string& text, const std::string& what) {
    std::uint32_t number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || error != std::errc{} || stop != end)
        throw usageError(what + " '" + text + "' is not a whole number");
    return number;
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

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

class ProcessParser {
public:
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
        command.settings.push_back(std::move(setting));
    }

    void setId(const std::string& text) {
        const std::string argument = "--set-id " + text;
        auto [id, value] = splitAssignment(text, "--set-id");
        ParameterSetting setting;
        setting.kind = ParameterSetting::Kind::byId;
        setting.id = parseWholeNumber(id, "parameter id");
        setting.value = parseNormalisedValue(value, argument);
        setting.argument = argument;
        command.settings.push_back(std::move(setting));
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
        command.settings.push_back(std::move(setting));
    }

    void block(const std::string& text) {
        const std::uint32_t frames = parseWholeNumber(text, "--block");
        if (frames == 0 || frames > kLargestBlock)
            throw usageError("--block " + text + " must lie between 1 and " + std::to_string(kLargestBlock));
        command.blockFrames = frames;
    }

    void format(const std::string& text) {
        static const std::map<std::string, FileFormat> formats{{"wav", FileFormat::wav},
                                                               {"flac", FileFormat::flac},
                                                               {"aiff", FileFormat::aiff},
                                                               {"ogg", FileFormat::ogg}};
        const auto found = formats.find(text);
        if (found == formats.end())
            throw usageError("unknown --format '" + text + "': choose wav, flac, aiff or ogg");
        command.format = found->second;
    }

    void subtype(const std::string& text) {
        static const std::map<std::string, SampleFormat> subtypes{
            {"pcm16", SampleFormat::pcm16}, {"pcm24", SampleFormat::pcm24}, {"float", SampleFormat::float32}};
        const auto found = subtypes.find(text);
        if (found == subtypes.end())
            throw usageError("unknown --subtype '" + text + "': choose pcm16, pcm24 or float");
        command.subtype = found->second;
    }

    void bypassOn() { command.bypass = true; }

    void positional(const std::string& text) {
        if (count == 3)
            throw usageError("unexpected argument '" + text + "': process takes <plugin> <in> <out>" +
                             kSeeHelp);
        std::string* slots[] = {&command.plugin, &command.input, &command.output};
        *slots[count++] = text;
    }

    ProcessCommand finish() {
        if (count < 3)
            throw usageError("process takes <plugin> <in> <out>" + kSeeHelp);
        return std::move(command);
    }

private:
    // A value name is checked here, against the names an earlier --value-names
    // gave, because the library would quietly set 0 for a name it never heard.
    void requireGivenName(const std::string& title, const std::string& name, const std::string& argument) {
        const auto given = givenNames.find(title);
        if (given == givenNames.end())
            throw usageError("'" + argument + "': name the values of " + title +
                             " first with --value-names " + title + "=...");
        if (std::find(given->second.begin(), given->second.end(), name) == given->second.end())
            throw usageError("'" + argument + "': " + name + " is not one of " + title + "'s value names (" +
                             joined(given->second) + ")");
    }

    ProcessCommand command;
    std::map<std::string, std::vector<std::string>> givenNames;
    int count = 0;
};

ProcessCommand parseProcess(Arguments& arguments) {
    ProcessParser parser;
    while (!arguments.done()) {
        const std::string& argument = arguments.take();
        if (argument == "--set")
            parser.set(arguments.valueOf(argument));
        else if (argument == "--set-id")
            parser.setId(arguments.valueOf(argument));
        else if (argument == "--value-names")
            parser.valueNames(arguments.valueOf(argument));
        else if (argument == "--block")
            parser.block(arguments.valueOf(argument));
        else if (argument == "--format")
            parser.format(arguments.valueOf(argument));
        else if (argument == "--subtype")
            parser.subtype(arguments.valueOf(argument));
        else if (argument == "--bypass")
            parser.bypassOn();
        else if (isOption(argument))
            throw usageError("unknown option '" + argument + "' for process" + kSeeHelp);
        else
            parser.positional(argument);
    }
    return parser.finish();
}

// plugins [--json], params <plugin> [--json]: a flag and at most one name.
template <typename ListingCommand>
ListingCommand parseListing(Arguments& arguments, const std::string& name) {
    ListingCommand command;
    std::vector<std::string> positionals;
    while (!arguments.done()) {
        const std::string& argument = arguments.take();
        if (argument == "--json")
            command.json = true;
        else if (isOption(argument))
            throw usageError("unknown option '" + argument + "' for " + name + kSeeHelp);
        else
            positionals.push_back(argument);
    }
    if constexpr (requires { command.plugin; }) {
        if (positionals.size() != 1)
            throw usageError(name + " takes one <plugin>" + kSeeHelp);
        command.plugin = positionals.front();
    } else {
        if (!positionals.empty())
            throw usageError("unexpected argument '" + positionals.front() + "' for " + name + kSeeHelp);
    }
    return command;
}

DemoCommand parseDemo(Arguments& arguments) {
    DemoCommand command;
    bool outputGiven = false;
    while (!arguments.done()) {
        const std::string& argument = arguments.take();
        if (isOption(argument) || outputGiven)
            throw usageError("demo takes at most an output file, not '" + argument + "'" + kSeeHelp);
        command.output = argument;
        outputGiven = true;
    }
    return command;
}

} // namespace

Command parseCommandLine(const std::vector<std::string>& given) {
    if (given.empty())
        return DemoCommand{};
    Arguments arguments(std::vector<std::string>(given.begin() + 1, given.end()));
    const std::string& name = given.front();
    if (name == "help" || name == "--help" || name == "-h")
        return HelpCommand{};
    if (name == "plugins")
        return parseListing<PluginsCommand>(arguments, name);
    if (name == "params")
        return parseListing<ParamsCommand>(arguments, name);
    if (name == "process")
        return parseProcess(arguments);
    if (name == "demo")
        return parseDemo(arguments);
    throw usageError("unknown command '" + name + "'" + kSeeHelp);
}

const char* usageText() {
    return R"(varnel-vst: VST 3 effects from the command line, hosted by VarnelVST.

Usage:
  varnel-vst plugins [--json]
      The VST 3 plug-ins in $HOME/.vst3, /usr/lib/vst3 and /usr/local/lib/vst3:
      name, vendor, category, sub-categories, version and bundle.
  varnel-vst params <plugin> [--json]
      The plug-in's parameters: id, title, units, default, steps, read-only,
      hidden, and the current value with the controller's text for it.
  varnel-vst process <plugin> <in> <out> [options]
      Runs a sound file through the plug-in; mono input becomes two equal
      channels. Prints a summary; writes <out> only when everything worked.
  varnel-vst demo [out.wav]
      Makes a test signal, runs it through ZamCompX2 and writes
      out/demo-input.wav and out/demo-output.wav (the default command).

<plugin> is a bundle name (ZamCompX2 or ZamCompX2.vst3) looked up in
/usr/lib/vst3, then $HOME/.vst3 and /usr/local/lib/vst3; anything with a '/'
is a path to a bundle folder or its .so.

Process options (applied in the order given):
  --set NAME=VALUE        set the parameter titled NAME to a normalised VALUE in [0, 1]
  --set-id ID=VALUE       the same, by parameter id
  --value-names NAME=a,b  name the steps of NAME in ascending order...
  --set NAME=@b           ...and set it by one of those names
  --block N               frames per block (default 512)
  --bypass                pass the audio through without the plug-in
  --format wav|flac|aiff|ogg   output file format (default: the input's)
  --subtype pcm16|pcm24|float  output sample format (default: the input's)

Exit status: 0 done, 1 failed, 2 wrong command line.
)";
}

} // namespace varnelvst::tool
