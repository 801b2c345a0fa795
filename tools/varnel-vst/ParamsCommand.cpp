// `varnel-vst params <plugin>`: the class, buses and channel layout the plug-in was loaded with,
// and its parameters with everything the edit controller says about them.
#include "Commands.h"
#include "JsonOutput.h"
#include "ParameterSettings.h"
#include "PluginFolders.h"
#include "PluginLoading.h"
#include "StandardOutput.h"
#include "Summary.h"
#include "TextTable.h"
#include "ToolError.h"

#include <VSTModule.h>

#include <cstdio>
#include <ostream>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTBusInfo;
using varnel::extensions::vst::VSTChannelLayout;
using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTParameterDetails;
using varnel::extensions::vst::VSTParameterRange;
using varnel::extensions::vst::VSTPluginClassInfo;

namespace {

struct PluginDescription {
    VSTPluginClassInfo classInfo;
    std::vector<VSTBusInfo> buses;
    VSTChannelLayout channelLayout;
    std::vector<VSTParameterDetails> parameters;
    std::vector<VSTParameterRange> ranges; // one per parameter, in the same order
    std::uint32_t latencySamples = 0;
    std::uint32_t tailSamples = 0;
};

// The rate the library sets a plug-in up for when it loads it; latency and tail
// are counted in samples at this rate.
constexpr int kLoadSampleRate = 48000;

// A parameter the controller lists but gives no range for keeps a zero range,
// and the library has said why.
std::vector<VSTParameterRange> rangesOf(VSTModule& module,
                                        const std::vector<VSTParameterDetails>& parameters) {
    std::vector<VSTParameterRange> ranges(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i)
        module.getParameterRange(parameters[i].parameter.id, ranges[i]);
    return ranges;
}

// Plain values in a few significant digits: "-80", "0.1", "20000".
std::string plainText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

const char* direction(const VSTBusInfo& bus) {
    return bus.isInput ? "input" : "output";
}

void writeJson(const PluginLocation& plugin, const PluginDescription& description) {
    Json json{{"plugin", plugin.argument},
              {"path", plugin.path},
              {"class", classInfoJson(description.classInfo)},
              {"latencySamples", description.latencySamples},
              {"tailSamples", description.tailSamples},
              {"tail", describeTail(description.tailSamples, kLoadSampleRate)},
              {"buses", Json::array()},
              {"channelLayout", describeChannelLayout(description.channelLayout)},
              {"parameters", Json::array()}};
    for (const VSTBusInfo& bus : description.buses) {
        json["buses"].push_back({{"direction", direction(bus)},
                                 {"index", bus.index},
                                 {"name", bus.name},
                                 {"channels", bus.channelCount},
                                 {"auxiliary", bus.isAuxiliary},
                                 {"defaultActive", bus.defaultActive}});
    }
    for (std::size_t i = 0; i < description.parameters.size(); ++i) {
        const VSTParameterDetails& details = description.parameters[i];
        const VSTParameterRange& range = description.ranges[i];
        json["parameters"].push_back({{"id", details.parameter.id},
                                      {"title", details.parameter.name},
                                      {"shortTitle", details.shortTitle},
                                      {"units", details.parameter.units},
                                      {"default", details.parameter.defaultValue},
                                      {"stepCount", details.parameter.stepCount},
                                      {"readOnly", details.parameter.readOnly},
                                      {"hidden", details.hidden},
                                      {"canAutomate", details.canAutomate},
                                      {"bypass", details.isBypass},
                                      {"list", details.isList},
                                      {"value", details.value},
                                      {"text", details.valueText},
                                      {"plain",
                                       {{"min", range.minPlain},
                                        {"max", range.maxPlain},
                                        {"default", range.defaultPlain},
                                        {"value", range.plain}}},
                                      {"valueNames", range.valueNames}});
    }
    printJson(json);
}

void writeBuses(const std::vector<VSTBusInfo>& buses) {
    TextTable table({"BUS", "NAME", "CHANNELS", "KIND", "DEFAULT"});
    for (const VSTBusInfo& bus : buses) {
        table.addRow({std::string(direction(bus)) + " " + std::to_string(bus.index), bus.name,
                      std::to_string(bus.channelCount), bus.isAuxiliary ? "auxiliary" : "main",
                      bus.defaultActive ? "active" : "inactive"});
    }
    table.print(toolOutput());
}

std::string flagsOf(const VSTParameterDetails& details) {
    std::vector<std::string> flags;
    if (details.parameter.readOnly)
        flags.push_back("read-only");
    if (details.hidden)
        flags.push_back("hidden");
    if (details.isBypass)
        flags.push_back("bypass");
    if (details.isList)
        flags.push_back("list");
    return joined(flags, ",");
}

void writeText(const PluginLocation& plugin, const PluginDescription& description) {
    const VSTPluginClassInfo& info = description.classInfo;
    toolOutput() << plugin.argument << " (" << plugin.path << "): " << info.name << " by " << info.vendor
                 << ", version " << info.version << ", " << joined(info.subCategories, "|") << '\n'
                 << "latency " << description.latencySamples << " samples, tail "
                 << describeTail(description.tailSamples, kLoadSampleRate) << " (at " << kLoadSampleRate
                 << " Hz)\n\n";
    writeBuses(description.buses);
    toolOutput() << "\nchannels: " << describeChannelLayout(description.channelLayout) << '\n';
    const std::size_t count = description.parameters.size();
    toolOutput() << '\n' << count << (count == 1 ? " parameter" : " parameters") << '\n';
    TextTable table({"ID", "TITLE", "VALUE", "TEXT", "UNITS", "DEFAULT", "PLAIN MIN", "PLAIN MAX",
                     "PLAIN DEFAULT", "STEPS", "FLAGS"});
    std::vector<std::string> namedValues;
    for (std::size_t i = 0; i < description.parameters.size(); ++i) {
        const VSTParameterDetails& details = description.parameters[i];
        const VSTParameterRange& range = description.ranges[i];
        table.addRow({std::to_string(details.parameter.id), details.parameter.name, fixed(details.value),
                      details.valueText, details.parameter.units, fixed(details.parameter.defaultValue),
                      plainText(range.minPlain), plainText(range.maxPlain), plainText(range.defaultPlain),
                      std::to_string(details.parameter.stepCount), flagsOf(details)});
        if (!range.valueNames.empty())
            namedValues.push_back(details.parameter.name + ": " + joined(range.valueNames, ", "));
    }
    table.print(toolOutput());
    if (!namedValues.empty()) {
        toolOutput() << "\nValues of the stepped parameters, lowest first\n";
        for (const std::string& line : namedValues)
            toolOutput() << "  " << line << '\n';
    }
}

} // namespace

int runParams(const ParamsCommand& command) {
    const PluginLocation plugin = locatePlugin(command.plugin);
    VSTModule module;
    loadIntoModule(module, plugin, command.pluginClass);
    if (!command.preset.empty() && !module.loadPreset(command.preset))
        throw failure("could not restore the preset " + command.preset + " into " + plugin.argument);
    ModuleParameters parameters(module);
    applyParameterSettings(parameters, command.settings, plugin.argument);
    PluginDescription description{module.getPluginClassInfo(),
                                  module.getBuses(),
                                  module.getChannelLayout(),
                                  module.getParameterDetails(),
                                  {},
                                  module.getLatencySamples(),
                                  module.getTailSamples()};
    description.ranges = rangesOf(module, description.parameters);
    if (command.json)
        writeJson(plugin, description);
    else
        writeText(plugin, description);
    return kExitOk;
}

} // namespace varnelvst::tool
