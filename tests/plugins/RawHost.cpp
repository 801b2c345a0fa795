#include "RawHost.h"

#include "testplugin/TestPluginHandle.h"
#include "testsupport/SharedLibrary.h"

#include "public.sdk/source/common/memorystream.h"

#include <algorithm>
#include <cstring>

namespace rawhost {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

template <class Interface>
tresult answerOnly(Interface* self, const TUID iid, void** object) {
    if (FUnknownPrivate::iidEqual(iid, Interface::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
        *object = self;
        return kResultOk;
    }
    *object = nullptr;
    return kNoInterface;
}

template <class Function>
Function entryPoint(void* library, const char* name) {
    return reinterpret_cast<Function>(testsupport::findSymbol(library, name));
}

} // namespace

tresult PLUGIN_API HostContext::getName(String128 name) {
    const char* text = "Raw test host";
    std::size_t i = 0;
    for (; text[i] != 0; ++i)
        name[i] = static_cast<TChar>(text[i]);
    name[i] = 0;
    return kResultOk;
}

tresult PLUGIN_API HostContext::createInstance(TUID, TUID, void** object) {
    *object = nullptr;
    return kResultFalse;
}

tresult PLUGIN_API HostContext::queryInterface(const TUID iid, void** object) {
    return answerOnly(this, iid, object);
}

void ParameterQueue::reset(ParamID id) {
    id_ = id;
    count_ = 0;
}

tresult PLUGIN_API ParameterQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
    if (index < 0 || index >= count_)
        return kInvalidArgument;
    sampleOffset = points_[static_cast<std::size_t>(index)].first;
    value = points_[static_cast<std::size_t>(index)].second;
    return kResultOk;
}

tresult PLUGIN_API ParameterQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
    if (count_ == static_cast<int32>(points_.size()))
        return kResultFalse;
    points_[static_cast<std::size_t>(count_)] = {sampleOffset, value};
    index = count_++;
    return kResultOk;
}

tresult PLUGIN_API ParameterQueue::queryInterface(const TUID iid, void** object) {
    return answerOnly(this, iid, object);
}

void ParameterChangeList::add(ParamID id, int32 sampleOffset, ParamValue value) {
    int32 index = 0;
    int32 pointIndex = 0;
    if (IParamValueQueue* queue = addParameterData(id, index))
        queue->addPoint(sampleOffset, value, pointIndex);
}

IParamValueQueue* PLUGIN_API ParameterChangeList::getParameterData(int32 index) {
    return index >= 0 && index < used_ ? &queues_[static_cast<std::size_t>(index)] : nullptr;
}

IParamValueQueue* PLUGIN_API ParameterChangeList::addParameterData(const ParamID& id, int32& index) {
    for (int32 i = 0; i < used_; ++i) {
        if (queues_[static_cast<std::size_t>(i)].getParameterId() == id) {
            index = i;
            return &queues_[static_cast<std::size_t>(i)];
        }
    }
    if (used_ == static_cast<int32>(queues_.size()))
        return nullptr;
    index = used_++;
    queues_[static_cast<std::size_t>(index)].reset(id);
    return &queues_[static_cast<std::size_t>(index)];
}

tresult PLUGIN_API ParameterChangeList::queryInterface(const TUID iid, void** object) {
    return answerOnly(this, iid, object);
}

Session::Session(const std::string& name, int32 channels) : channels_(channels) {
    std::string error;
    library_ = testsupport::openLibrary(testplugin::TestPluginHandle::libraryPath(name), error);
    for (std::size_t channel = 0; channel < 2; ++channel) {
        input[channel].resize(bufferFrames);
        output[channel].resize(bufferFrames);
        for (std::size_t frame = 0; frame < bufferFrames; ++frame)
            input[channel][frame] =
                (channel == 0 ? 1.0f : -1.0f) * (static_cast<float>(frame % 100) / 100.0f);
        inputPointers_[channel] = input[channel].data();
        outputPointers_[channel] = output[channel].data();
    }
    inputBus_.numChannels = channels_;
    inputBus_.channelBuffers32 = inputPointers_.data();
    outputBus_.numChannels = channels_;
    outputBus_.channelBuffers32 = outputPointers_.data();
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &inputBus_;
    data.outputs = &outputBus_;
    data.inputParameterChanges = &inputChanges;
    data.outputParameterChanges = &outputChanges;
}

Session::~Session() {
    tearDown();
    testsupport::closeLibrary(library_);
}

bool Session::moduleEntry() {
    entered_ = testsupport::callModuleEntry(library_);
    return entered_;
}

bool Session::moduleExit() {
    entered_ = false;
    return testsupport::callModuleExit(library_);
}

bool Session::getPluginFactory() {
    auto getFactory = entryPoint<IPluginFactory* (*)()>(library_, "GetPluginFactory");
    factory_ = getFactory != nullptr ? getFactory() : nullptr;
    return factory_ != nullptr;
}

void Session::releaseFactory() {
    if (factory_ != nullptr)
        factory_->release();
    factory_ = nullptr;
}

tresult Session::createComponent(int classIndex) {
    int found = 0;
    for (const PClassInfo& info : classInfos(factory_)) {
        if (std::strcmp(info.category, kVstAudioEffectClass) != 0 || found++ != classIndex)
            continue;
        const tresult result =
            factory_->createInstance(info.cid, IComponent::iid, reinterpret_cast<void**>(&component_));
        if (component_ != nullptr)
            component_->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor_));
        return result;
    }
    return kResultFalse;
}

tresult Session::initializeComponent() {
    if (component_ == nullptr)
        return kInvalidArgument;
    const tresult result = component_->initialize(&host);
    componentInitialized_ = result == kResultOk;
    return result;
}

tresult PLUGIN_API ComponentHandler::queryInterface(const TUID iid, void** object) {
    if (FUnknownPrivate::iidEqual(iid, IComponentHandler::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
        *object = this;
        return kResultOk;
    }
    *object = nullptr;
    return kNoInterface;
}

namespace {

// Outlives every session: a plug-in may keep the handler past its host's end.
ComponentHandler& sharedComponentHandler() {
    static ComponentHandler handler;
    return handler;
}

} // namespace

tresult Session::createController() {
    if (component_ == nullptr || factory_ == nullptr)
        return kInvalidArgument;
    if (component_->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller_)) ==
        kResultOk) {
        controllerIsComponent_ = true;
        if (givesComponentHandler)
            controller_->setComponentHandler(&sharedComponentHandler());
        return kResultOk;
    }
    TUID controllerId = {};
    tresult result = component_->getControllerClassId(controllerId);
    if (result != kResultOk)
        return result;
    result =
        factory_->createInstance(controllerId, IEditController::iid, reinterpret_cast<void**>(&controller_));
    if (result != kResultOk || controller_ == nullptr)
        return result == kResultOk ? kResultFalse : result;
    result = controller_->initialize(&host);
    controllerInitialized_ = result == kResultOk;
    if (controllerInitialized_ && givesComponentHandler)
        controller_->setComponentHandler(&sharedComponentHandler());
    return result;
}

tresult Session::connect() {
    if (controllerIsComponent_)
        return kResultOk;
    if (component_ == nullptr || controller_ == nullptr)
        return kInvalidArgument;
    return linkConnectionPoints(true);
}

tresult Session::transferState() {
    if (component_ == nullptr || controller_ == nullptr)
        return kInvalidArgument;
    MemoryStream stream;
    tresult result = component_->getState(&stream);
    if (result != kResultOk)
        return result;
    stream.seek(0, IBStream::kIBSeekSet, nullptr);
    return controller_->setComponentState(&stream);
}

tresult Session::disconnect() {
    connected_ = false;
    if (component_ == nullptr || controller_ == nullptr)
        return kInvalidArgument;
    return linkConnectionPoints(false);
}

tresult Session::linkConnectionPoints(bool connect) {
    IConnectionPoint* componentPoint = nullptr;
    IConnectionPoint* controllerPoint = nullptr;
    component_->queryInterface(IConnectionPoint::iid, reinterpret_cast<void**>(&componentPoint));
    controller_->queryInterface(IConnectionPoint::iid, reinterpret_cast<void**>(&controllerPoint));
    tresult result = kResultFalse;
    if (componentPoint != nullptr && controllerPoint != nullptr) {
        const auto link = [connect](IConnectionPoint* from, IConnectionPoint* to) {
            return connect ? from->connect(to) : from->disconnect(to);
        };
        result = link(componentPoint, controllerPoint);
        if (link(controllerPoint, componentPoint) != kResultOk)
            result = kResultFalse;
        connected_ = connect;
    }
    if (componentPoint != nullptr)
        componentPoint->release();
    if (controllerPoint != nullptr)
        controllerPoint->release();
    return result;
}

tresult Session::terminateController() {
    controllerInitialized_ = false;
    return controller_ != nullptr ? controller_->terminate() : kInvalidArgument;
}

void Session::releaseController() {
    if (controller_ != nullptr)
        controller_->release();
    controller_ = nullptr;
    controllerIsComponent_ = false;
    controllerInitialized_ = false;
    connected_ = false;
}

tresult Session::terminateComponent() {
    componentInitialized_ = false;
    return component_ != nullptr ? component_->terminate() : kInvalidArgument;
}

void Session::releaseComponent() {
    if (processor_ != nullptr)
        processor_->release();
    if (component_ != nullptr)
        component_->release();
    processor_ = nullptr;
    component_ = nullptr;
    componentInitialized_ = false;
    active_ = false;
    processing_ = false;
}

tresult Session::setupProcessing(double sampleRate, int32 maxSamplesPerBlock, int32 symbolicSampleSize) {
    if (processor_ == nullptr)
        return kInvalidArgument;
    ProcessSetup setup{kRealtime, symbolicSampleSize, maxSamplesPerBlock, sampleRate};
    return processor_->setupProcessing(setup);
}

tresult Session::activateBuses(bool state) {
    if (component_ == nullptr)
        return kInvalidArgument;
    tresult result = kResultOk;
    for (BusDirection direction : {kInput, kOutput}) {
        if (component_->getBusCount(kAudio, direction) > 0) {
            const tresult busResult = component_->activateBus(kAudio, direction, 0, state);
            result = result == kResultOk ? busResult : result;
        }
    }
    return result;
}

tresult Session::setActive(bool state) {
    active_ = state;
    return component_ != nullptr ? component_->setActive(state) : kInvalidArgument;
}

tresult Session::setProcessing(bool state) {
    processing_ = state;
    return processor_ != nullptr ? processor_->setProcessing(state) : kInvalidArgument;
}

tresult Session::process(int32 numSamples) {
    // Runs inside allocation-counted sections: only fills and plain stores.
    for (auto& channel : output)
        std::fill(channel.begin(), channel.end(), 0.0f);
    outputChanges.clear();
    data.numSamples = numSamples;
    return processor_ != nullptr ? processor_->process(data) : kInvalidArgument;
}

bool Session::bringUp(double sampleRate, int32 maxSamplesPerBlock) {
    if (!moduleEntry() || !getPluginFactory() || createComponent() != kResultOk ||
        initializeComponent() != kResultOk)
        return false;
    if (createController() == kResultOk && !controllerIsComponent_) {
        if (connect() != kResultOk || transferState() != kResultOk)
            return false;
    }
    // A correct host declares the plug-in's buses: none on the input side of a generator.
    data.numInputs = std::min(component_->getBusCount(kAudio, kInput), int32{1});
    return processor_ != nullptr && setupProcessing(sampleRate, maxSamplesPerBlock) == kResultOk &&
           activateBuses(true) == kResultOk && setActive(true) == kResultOk &&
           setProcessing(true) == kResultOk;
}

void Session::tearDown() {
    if (processing_)
        setProcessing(false);
    if (active_)
        setActive(false);
    if (connected_)
        disconnect();
    if (controllerInitialized_)
        terminateController();
    releaseController();
    if (componentInitialized_)
        terminateComponent();
    releaseComponent();
    releaseFactory();
    if (entered_)
        moduleExit();
}

std::vector<PClassInfo> classInfos(IPluginFactory* factory) {
    std::vector<PClassInfo> infos;
    const int32 count = factory != nullptr ? factory->countClasses() : 0;
    for (int32 index = 0; index < count; ++index) {
        PClassInfo info;
        if (factory->getClassInfo(index, &info) == kResultOk)
            infos.push_back(info);
    }
    return infos;
}

} // namespace rawhost
