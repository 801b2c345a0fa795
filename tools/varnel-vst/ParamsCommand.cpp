// `varnel-vst params <plugin>`: the parameter list as VSTModule gives it, with
// the hidden flag and the value texts that only the edit controller knows.
#include "Commands.h"
#include "JsonOutput.h"
#include "PluginFolders.h"
#include "PluginInspection.h"
#include "PluginLoading.h"
#include "TextTable.h"
#include "ToolError.h"

#include <VSTModule.h>

#include <cstdio>
#include <iostream>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTParameter;

namespace {

struct ParameterRow {
    VSTParameter parameter;
    bool hidden = false;
    float value = 0.0f;
    std::string text;
};

std::string fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

void writeJson(const PluginLocation& plugin, const std::vector<ParameterRow>& rows) {
    Json parameters = Json::array();
    for (const ParameterRow& row : rows) {
        parameters.push_back({{"id", row.parameter.id},
                              {"title", row.parameter.name},
                              {"units", row.parameter.units},
                              {"default", row.parameter.defaultValue},
                              {"stepCount", row.parameter.stepCount},
                              {"readOnly", row.parameter.readOnly},
                              {"hidden", row.hidden},
                              {"value", shortestDecimal(row.value)},
                              {"text", row.text}});
    }
    printJson({{"plugin", plugin.argument}, {"path", plugin.path}, {"parameters", parameters}});
}

void writeText(const PluginLocation& plugin, const std::vector<ParameterRow>& rows) {
    std::cout << plugin.argument << " (" << plugin.path << "): " << rows.size()
              << (rows.size() == 1 ? " parameter" : " parameters") << '\n';
    TextTable table({"ID", "TITLE", "VALUE", "TEXT", "UNITS", "DEFAULT", "STEPS", "FLAGS"});
    for (const ParameterRow& row : rows) {
        std::string flags;
        if (row.parameter.readOnly)
            flags += "read-only";
        if (row.hidden)
            flags += (flags.empty() ? "" : ",") + std::string("hidden");
        table.addRow({std::to_string(row.parameter.id), row.parameter.name, fixed(row.value), row.text,
                      row.parameter.units, fixed(row.parameter.defaultValue),
                      std::to_string(row.parameter.stepCount), flags});
    }
    table.print(std::cout);
}

} // namespace

int runParams(const ParamsCommand& command) {
    const PluginLocation plugin = locatePlugin(command.plugin);
    VSTModule module;
    loadIntoModule(module, plugin);

    ControllerInspector inspector;
    std::string inspectorError;
    const bool inspecting = inspector.open(plugin.path, inspectorError);
    if (!inspecting)
        printWarning("no hidden flags or value texts for " + plugin.argument + ": " + inspectorError);

    std::vector<ParameterRow> rows;
    bool listsDiffer = false;
    for (const VSTParameter& parameter : module.getParameters()) {
        ParameterRow row;
        row.parameter = parameter;
        row.value = module.getParameterValue(parameter.id);
        if (const auto details = inspector.details(parameter.id)) {
            row.hidden = details->hidden;
            row.text = inspector.valueText(parameter.id, row.value);
        } else {
            listsDiffer = listsDiffer || inspecting;
        }
        rows.push_back(std::move(row));
    }
    if (listsDiffer)
        printWarning(
            "the plug-in's controllers disagree about its parameters; some flags and texts are missing");

    if (command.json)
        writeJson(plugin, rows);
    else
        writeText(plugin, rows);
    return kExitOk;
}

} // namespace varnelvst::tool
