// The edit controller's calls, the plug-in's state and its editor, for a plug-in in
// this process.
#include "plugin/local/LocalPlugin.h"

#include "state/PluginStateStream.h"
#include "state/VSTPresetFile.h"

#include "public.sdk/source/vst/utility/stringconvert.h"

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// A controller that keeps nothing of its own answers kNotImplemented.
bool controllerStateCallSucceeded(tresult result) {
    return result == kResultOk || result == kNotImplemented;
}

IPtr<PluginStateStream> streamOf(const std::vector<std::uint8_t>& bytes) {
    return owned(new PluginStateStream(bytes));
}

} // namespace

std::vector<ParameterInfo> LocalPlugin::parameterInfos() {
    std::vector<ParameterInfo> infos;
    if (!controller)
        return infos;
    const int32 count = controller->getParameterCount();
    for (int32 index = 0; index < count; ++index) {
        ParameterInfo info{};
        if (controller->getParameterInfo(index, info) == kResultOk)
            infos.push_back(info);
    }
    return infos;
}

double LocalPlugin::normalizedValue(ParamID id) {
    return controller->getParamNormalized(id);
}

void LocalPlugin::setNormalizedValue(ParamID id, double value) {
    controller->setParamNormalized(id, value);
}

std::string LocalPlugin::valueText(ParamID id, double value) {
    String128 text{};
    if (controller->getParamStringByValue(id, value, text) != kResultOk)
        return {};
    text[127] = 0; // a plug-in that fills all 128 characters leaves no terminator
    return VST3::StringConvert::convert(text);
}

double LocalPlugin::toPlain(ParamID id, double normalized) {
    return controller->normalizedParamToPlain(id, normalized);
}

double LocalPlugin::toNormalized(ParamID id, double plain) {
    return controller->plainParamToNormalized(id, plain);
}

bool LocalPlugin::valueFromText(ParamID id, const std::string& text, double& value) {
    String128 pluginText{};
    ParamValue parsed = 0.0;
    if (!VST3::StringConvert::convert(text, pluginText, 128) ||
        controller->getParamValueByString(id, pluginText, parsed) != kResultOk)
        return false;
    value = parsed;
    return true;
}

std::uint64_t LocalPlugin::takeIgnoredEdits(ParamID& lastId) {
    return componentHandler->takeIgnoredEdits(lastId);
}

int32 LocalPlugin::takeRestartRequests() {
    return componentHandler->takeRestartRequests();
}

void LocalPlugin::putBackRestartRequests(int32 flags) {
    componentHandler->restartComponent(flags);
}

std::vector<std::pair<ParamID, double>> LocalPlugin::takeEdits() {
    return componentHandler->takeEdits();
}

bool LocalPlugin::captureState(PluginStateChunks& chunks, std::string& refusal) {
    chunks.classId = audioModuleClass;
    IPtr<PluginStateStream> componentStream = owned(new PluginStateStream);
    if (lead().component->getState(componentStream) != kResultOk) {
        refusal = "IComponent::getState";
        return false;
    }
    chunks.component = componentStream->data();
    chunks.controller.reset();
    // A component that is its own controller gave everything above.
    if (controller && !controllerIsComponent()) {
        IPtr<PluginStateStream> controllerStream = owned(new PluginStateStream);
        if (!controllerStateCallSucceeded(controller->getState(controllerStream))) {
            refusal = "IEditController::getState";
            return false;
        }
        chunks.controller = controllerStream->data();
    }
    return true;
}

bool LocalPlugin::applyState(const PluginStateChunks& chunks, std::string& refusal) {
    // Both instances of a dual-mono pair run from the same state.
    bool componentsTookIt = true;
    forEachInstance([&](PluginInstance& instance) {
        componentsTookIt =
            componentsTookIt && instance.component->setState(streamOf(chunks.component)) == kResultOk;
    });
    if (!componentsTookIt) {
        refusal = "IComponent::setState";
        return false;
    }
    if (!controller || controllerIsComponent())
        return true;
    // The controller follows the component's state, then takes its own on top.
    if (!controllerStateCallSucceeded(controller->setComponentState(streamOf(chunks.component)))) {
        refusal = "IEditController::setComponentState";
        return false;
    }
    if (chunks.controller &&
        !controllerStateCallSucceeded(controller->setState(streamOf(*chunks.controller)))) {
        refusal = "IEditController::setState";
        return false;
    }
    return true;
}

bool LocalPlugin::editorAvailable(const std::string& platformType, std::string& reason) {
    return editor.isOpen() || PluginEditor::available(controller.get(), platformType, reason);
}

bool LocalPlugin::openEditor(void* parent, const std::string& platformType, std::string& reason) {
    return editor.open(controller.get(), parent, platformType, reason);
}

void LocalPlugin::closeEditor() noexcept {
    editor.close();
}

bool LocalPlugin::resizeEditor(VSTEditorSize& size, std::string& reason) {
    return editor.resize(size, reason);
}

bool LocalPlugin::setEditorContentScale(float factor, std::string& reason) {
    return editor.setContentScale(factor, reason);
}

} // namespace varnel::extensions::vst
