#include "PluginInspection.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "public.sdk/source/vst/hosting/plugprovider.h"
#include "public.sdk/source/vst/utility/stringconvert.h"

#include <iostream>
#include <sstream>

namespace varnelvst::tool {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

bool isAudioModuleClass(const VST3::Hosting::ClassInfo& info) {
    return info.category() == kVstAudioEffectClass;
}

std::string oneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

// The context the inspector's plug-in objects are initialised with. It lives as
// long as the process: a plug-in may keep it for as long as it likes, and the
// SDK's HostApplication does not count references.
FUnknown* inspectionContext() {
    static HostApplication* const context = new HostApplication;
    return context;
}

} // namespace

std::vector<PluginClassDescription> describeAudioModuleClasses(const std::string& path, std::string& error) {
    std::vector<PluginClassDescription> classes;
    VST3::Hosting::Module::Ptr module = VST3::Hosting::Module::create(path, error);
    if (!module) {
        error = oneLine(error);
        return classes;
    }
    for (const VST3::Hosting::ClassInfo& info : module->getFactory().classInfos()) {
        if (isAudioModuleClass(info))
            classes.push_back(
                {info.name(), info.vendor(), info.category(), info.subCategories(), info.version()});
    }
    if (classes.empty())
        error = "the factory offers no audio module class";
    return classes;
}

struct ControllerInspector::Internals {
    VST3::Hosting::Module::Ptr module;
    IPtr<PlugProvider> provider;
    IPtr<IEditController> controller;
    std::map<ParamID, ParameterDetails> parameters;
};

ControllerInspector::ControllerInspector() : internals(std::make_unique<Internals>()) {}

ControllerInspector::~ControllerInspector() {
    // Controller first, then the provider (which terminates and disconnects the
    // pair), then the module, which may unload the library.
    internals->controller = nullptr;
    internals->provider = nullptr;
    internals->module.reset();
}

bool ControllerInspector::open(const std::string& path, std::string& error) {
    Internals& in = *internals;
    in.module = VST3::Hosting::Module::create(path, error);
    if (!in.module) {
        error = oneLine(error);
        return false;
    }
    // No setHostContext here: one factory serves every user of a library, and the
    // library's VSTModule has given it a context already.
    const VST3::Hosting::PluginFactory& factory = in.module->getFactory();

    // The library hosts the last audio module class a factory lists; describe that one.
    std::optional<VST3::Hosting::ClassInfo> audioModule;
    for (const VST3::Hosting::ClassInfo& info : factory.classInfos()) {
        if (isAudioModuleClass(info))
            audioModule = info;
    }
    if (!audioModule) {
        error = "the factory offers no audio module class";
        return false;
    }

    in.provider = owned(new PlugProvider(factory, *audioModule, true));
    std::ostringstream providerLines;
    PlugProvider::setErrorStream(&providerLines);
    PluginContextFactory::instance().setPluginContext(inspectionContext());
    const bool ready = in.provider->initialize();
    PluginContextFactory::instance().setPluginContext(nullptr);
    PlugProvider::setErrorStream(&std::cerr);
    if (ready)
        in.controller = owned(in.provider->getController());
    if (!in.controller) {
        error = "no edit controller";
        if (!providerLines.str().empty())
            error += ": " + oneLine(providerLines.str());
        return false;
    }

    const int32 count = in.controller->getParameterCount();
    for (int32 index = 0; index < count; ++index) {
        ParameterInfo info{};
        if (in.controller->getParameterInfo(index, info) == kResultOk)
            in.parameters[info.id] = {(info.flags & ParameterInfo::kIsHidden) != 0};
    }
    return true;
}

std::optional<ControllerInspector::ParameterDetails> ControllerInspector::details(std::uint32_t id) const {
    const auto found = internals->parameters.find(id);
    if (found == internals->parameters.end())
        return std::nullopt;
    return found->second;
}

std::string ControllerInspector::valueText(std::uint32_t id, double value) const {
    if (!internals->controller)
        return {};
    String128 text{};
    if (internals->controller->getParamStringByValue(id, value, text) != kResultOk)
        return {};
    return VST3::StringConvert::convert(text);
}

} // namespace varnelvst::tool
