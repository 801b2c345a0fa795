#include "plugin/remote/Messages.h"

namespace varnel::extensions::vst {

const char* pluginCallOf(Request request) {
    switch (request) {
    case Request::load:
        return "load";
    case Request::unload:
        return "terminate";
    case Request::moveTo:
    case Request::applySetup:
        return "a lifecycle step";
    case Request::repeatRefusedSwitch:
        return "setProcessing";
    case Request::currentLatency:
    case Request::readTiming:
        return "getLatencySamples";
    case Request::parameterInfos:
        return "getParameterInfo";
    case Request::normalizedValue:
        return "getParamNormalized";
    case Request::setNormalizedValue:
        return "setParamNormalized";
    case Request::valueText:
        return "getParamStringByValue";
    case Request::toPlain:
        return "normalizedParamToPlain";
    case Request::toNormalized:
        return "plainParamToNormalized";
    case Request::valueFromText:
        return "getParamValueByString";
    case Request::takeRestartRequests:
    case Request::putBackRestartRequests:
    case Request::takeEdits:
        return "a catch-up";
    case Request::captureState:
        return "getState";
    case Request::applyState:
        return "setState";
    case Request::processParametersOnly:
        return "process";
    case Request::editorAvailable:
        return "createView";
    case Request::openEditor:
        return "attached";
    case Request::closeEditor:
        return "removed";
    case Request::resizeEditor:
        return "onSize";
    case Request::setEditorContentScale:
        return "setContentScaleFactor";
    }
    return "an unknown call";
}

MessageWriter& MessageWriter::put(const std::string& text) {
    put(static_cast<std::uint32_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
}

MessageWriter& MessageWriter::put(const std::vector<std::uint8_t>& data) {
    put(static_cast<std::uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
}

MessageWriter& MessageWriter::put(const std::vector<std::string>& texts) {
    put(static_cast<std::uint32_t>(texts.size()));
    for (const std::string& text : texts)
        put(text);
    return *this;
}

MessageWriter& MessageWriter::put(const VSTPluginClassInfo& info) {
    put(info.name).put(info.vendor).put(info.version).put(info.category).put(info.subCategories);
    return put(info.classId).put(info.isInstrument);
}

MessageWriter& MessageWriter::put(const VSTBusInfo& bus) {
    put(bus.name).put(bus.isInput).put(bus.index).put(bus.channelCount).put(bus.isAuxiliary);
    return put(bus.defaultActive);
}

const std::vector<std::uint8_t>& MessageWriter::frame() {
    const auto length = static_cast<std::uint32_t>(bytes.size() - 4);
    std::memcpy(bytes.data(), &length, 4);
    return bytes;
}

void putParameterChanges(MessageWriter& out, Steinberg::Vst::IParameterChanges& changes) {
    std::vector<SharedValue> points;
    for (Steinberg::int32 index = 0; index < changes.getParameterCount(); ++index) {
        Steinberg::Vst::IParamValueQueue* queue = changes.getParameterData(index);
        for (Steinberg::int32 point = 0; queue != nullptr && point < queue->getPointCount(); ++point) {
            SharedValue value{queue->getParameterId(), 0, 0.0};
            if (queue->getPoint(point, value.sampleOffset, value.value) == Steinberg::kResultOk)
                points.push_back(value);
        }
    }
    out.put(static_cast<std::uint32_t>(points.size()));
    for (const SharedValue& value : points)
        out.put(value);
}

bool MessageReader::take(std::size_t count) {
    if (failed || static_cast<std::size_t>(end - cursor) < count) {
        failed = true;
        return false;
    }
    cursor += count;
    return true;
}

std::string MessageReader::getText() {
    const auto size = get<std::uint32_t>();
    if (!take(size))
        return {};
    return std::string(reinterpret_cast<const char*>(cursor - size), size);
}

std::vector<std::uint8_t> MessageReader::getBytes() {
    const auto size = get<std::uint32_t>();
    if (!take(size))
        return {};
    return std::vector<std::uint8_t>(cursor - size, cursor);
}

std::vector<std::string> MessageReader::getTexts() {
    const auto count = get<std::uint32_t>();
    std::vector<std::string> texts;
    for (std::uint32_t index = 0; index < count && ok(); ++index)
        texts.push_back(getText());
    return texts;
}

VSTPluginClassInfo MessageReader::getClassInfo() {
    VSTPluginClassInfo info;
    info.name = getText();
    info.vendor = getText();
    info.version = getText();
    info.category = getText();
    info.subCategories = getTexts();
    info.classId = getText();
    info.isInstrument = get<bool>();
    return info;
}

VSTBusInfo MessageReader::getBus() {
    VSTBusInfo bus;
    bus.name = getText();
    bus.isInput = get<bool>();
    bus.index = get<std::int32_t>();
    bus.channelCount = get<std::int32_t>();
    bus.isAuxiliary = get<bool>();
    bus.defaultActive = get<bool>();
    return bus;
}

} // namespace varnel::extensions::vst
