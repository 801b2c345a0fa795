#include "TestFactory.h"

#include "CallText.h"
#include "ClassCatalog.h"
#include "Module.h"
#include "PluginConfig.h"
#include "Recorder.h"
#include "TestPluginObject.h"

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/vsttypes.h"

#include <cstring>

namespace testplugin {

using namespace Steinberg;

namespace {

const char* const vendor = "Varnel Tests";
const char* const version = "1.0.0";
const char* const subCategories = "Fx";
const char* const instrumentSubCategories = "Instrument|Synth";

template <std::size_t N>
void copyText(char8 (&target)[N], const std::string& text) {
    std::strncpy(target, text.c_str(), N - 1);
    target[N - 1] = 0;
}

template <std::size_t N>
void copyText(char16 (&target)[N], const std::string& text) {
    std::size_t i = 0;
    for (; i + 1 < N && i < text.size(); ++i)
        target[i] = static_cast<char16>(static_cast<unsigned char>(text[i]));
    target[i] = 0;
}

const ClassEntry* classAt(int32 index) {
    const auto& classes = declaredClasses();
    return index >= 0 && static_cast<std::size_t>(index) < classes.size()
               ? &classes[static_cast<std::size_t>(index)]
               : nullptr;
}

const char* subCategoriesOf(const ClassEntry& entry) {
    if (entry.role == Role::controller)
        return "";
    return entry.instrument ? instrumentSubCategories : subCategories;
}

} // namespace

TestFactory::TestFactory()
    : instance_(Recorder::instance().registerObject("factory")),
      name_("factory#" + std::to_string(instance_)) {}

TestFactory::~TestFactory() {
    Recorder::instance().releaseObject(instance_);
}

tresult PLUGIN_API TestFactory::queryInterface(const TUID iid, void** object) {
    const FactoryKind kind = kPluginConfig.factory;
    const bool answers =
        FUnknownPrivate::iidEqual(iid, FUnknown::iid) ||
        FUnknownPrivate::iidEqual(iid, IPluginFactory::iid) ||
        (kind != FactoryKind::plain && FUnknownPrivate::iidEqual(iid, IPluginFactory2::iid)) ||
        (kind == FactoryKind::three && FUnknownPrivate::iidEqual(iid, IPluginFactory3::iid));
    if (!answers) {
        *object = nullptr;
        return kNoInterface;
    }
    addRef();
    *object = static_cast<IPluginFactory3*>(this);
    return kResultOk;
}

uint32 PLUGIN_API TestFactory::addRef() {
    return ++references_;
}

uint32 PLUGIN_API TestFactory::release() {
    const uint32 remaining = --references_;
    if (remaining == 0)
        delete this;
    return remaining;
}

bool TestFactory::admit(RecordedCall& call) const {
    if (call.onForeignThread())
        return false;
    if (!moduleEntered())
        call.violation("while the module is not entered (ModuleEntry missing or ModuleExit already called)");
    return true;
}

tresult PLUGIN_API TestFactory::getFactoryInfo(PFactoryInfo* info) {
    RecordedCall call("IPluginFactory", "getFactoryInfo", "", name_);
    if (!admit(call))
        return call.done(kResultFalse);
    if (info == nullptr)
        return call.done(kInvalidArgument);
    *info = {};
    copyText(info->vendor, vendor);
    info->flags =
        kPluginConfig.factory == FactoryKind::three ? PFactoryInfo::kUnicode : PFactoryInfo::kNoFlags;
    return call.done(kResultOk);
}

int32 PLUGIN_API TestFactory::countClasses() {
    RecordedCall call("IPluginFactory", "countClasses", "", name_);
    commitFault(kPluginConfig.classCountFault);
    if (!admit(call))
        return call.done(0);
    return call.done(static_cast<int32>(declaredClasses().size()));
}

tresult PLUGIN_API TestFactory::getClassInfo(int32 index, PClassInfo* info) {
    RecordedCall call("IPluginFactory", "getClassInfo", "index=" + std::to_string(index), name_);
    if (!admit(call))
        return call.done(kResultFalse);
    const ClassEntry* entry = classAt(index);
    if (entry == nullptr || info == nullptr)
        return call.done(kInvalidArgument);
    *info = {};
    std::memcpy(info->cid, entry->id.data(), sizeof info->cid);
    info->cardinality = PClassInfo::kManyInstances;
    copyText(info->category, entry->category);
    copyText(info->name, entry->name);
    return call.done(kResultOk);
}

// PClassInfo2 and PClassInfoW carry the same fields, in 8-bit and 16-bit text.
template <typename ExtendedClassInfo>
static void fillExtendedClassInfo(const ClassEntry& entry, ExtendedClassInfo& info) {
    info = {};
    std::memcpy(info.cid, entry.id.data(), sizeof info.cid);
    info.cardinality = PClassInfo::kManyInstances;
    copyText(info.category, entry.category);
    copyText(info.name, entry.name);
    copyText(info.subCategories, subCategoriesOf(entry));
    copyText(info.vendor, vendor);
    copyText(info.version, version);
    copyText(info.sdkVersion, kVstVersionString);
}

tresult PLUGIN_API TestFactory::getClassInfo2(int32 index, PClassInfo2* info) {
    RecordedCall call("IPluginFactory2", "getClassInfo2", "index=" + std::to_string(index), name_);
    if (!admit(call))
        return call.done(kResultFalse);
    const ClassEntry* entry = classAt(index);
    if (entry == nullptr || info == nullptr)
        return call.done(kInvalidArgument);
    fillExtendedClassInfo(*entry, *info);
    return call.done(kResultOk);
}

tresult PLUGIN_API TestFactory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
    RecordedCall call("IPluginFactory3", "getClassInfoUnicode", "index=" + std::to_string(index), name_);
    if (!admit(call))
        return call.done(kResultFalse);
    const ClassEntry* entry = classAt(index);
    if (entry == nullptr || info == nullptr)
        return call.done(kInvalidArgument);
    fillExtendedClassInfo(*entry, *info);
    return call.done(kResultOk);
}

tresult PLUGIN_API TestFactory::createInstance(FIDString cid, FIDString iid, void** object) {
    RecordedCall call("IPluginFactory", "createInstance",
                      "class=" + className(cid) + " interface=" + interfaceName(iid), name_);
    if (object != nullptr)
        *object = nullptr;
    if (!admit(call))
        return call.done(kResultFalse);
    if (object == nullptr)
        return call.done(kInvalidArgument);
    const ClassEntry* entry = findClass(cid);
    // Unknown classes (including a controller class the component names but the
    // factory never declared) give no object, as the installed factories do.
    if (entry == nullptr)
        return call.done(kNoInterface);
    auto* instance = new TestPluginObject(*entry);
    const tresult result = instance->queryInterface(iid, object);
    if (result == kResultOk)
        call.setArguments("class=" + entry->name + " interface=" + interfaceName(iid) + " -> " +
                          instance->name());
    instance->release(); // the caller holds the reference queryInterface added, if any
    return call.done(result == kResultOk ? kResultOk : kNoInterface);
}

tresult PLUGIN_API TestFactory::setHostContext(FUnknown* context) {
    RecordedCall call("IPluginFactory3", "setHostContext", describeContext(context), name_);
    if (!admit(call))
        return call.done(kResultFalse);
    return call.done(kResultOk);
}

} // namespace testplugin
