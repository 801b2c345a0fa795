#pragma once

// The plug-in factory. It answers IPluginFactory3, IPluginFactory2 or only
// IPluginFactory as the variant's FactoryKind says, so hosts meet every
// class-info fallback. Every GetPluginFactory call makes a new one, as the
// installed plug-ins do.

#include "pluginterfaces/base/ipluginbase.h"

#include <atomic>
#include <string>

namespace testplugin {

class RecordedCall;

class TestFactory final : public Steinberg::IPluginFactory3 {
public:
    TestFactory(); // one reference, for the caller of GetPluginFactory
    virtual ~TestFactory();

    const std::string& name() const { return name_; } // "factory#1"

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** object) override;
    Steinberg::uint32 PLUGIN_API addRef() override;
    Steinberg::uint32 PLUGIN_API release() override;

    Steinberg::tresult PLUGIN_API getFactoryInfo(Steinberg::PFactoryInfo* info) override;
    Steinberg::int32 PLUGIN_API countClasses() override;
    Steinberg::tresult PLUGIN_API getClassInfo(Steinberg::int32 index, Steinberg::PClassInfo* info) override;
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::FIDString cid, Steinberg::FIDString iid,
                                                 void** object) override;
    Steinberg::tresult PLUGIN_API getClassInfo2(Steinberg::int32 index,
                                                Steinberg::PClassInfo2* info) override;
    Steinberg::tresult PLUGIN_API getClassInfoUnicode(Steinberg::int32 index,
                                                      Steinberg::PClassInfoW* info) override;
    Steinberg::tresult PLUGIN_API setHostContext(Steinberg::FUnknown* context) override;

private:
    // The entry guard of every factory call: records a violation when the module is
    // not entered (the call still goes on); false when the call must fail, on a
    // strict-threads plug-in's foreign thread.
    bool admit(RecordedCall& call) const;

    std::atomic<Steinberg::uint32> references_{1};
    int instance_;
    std::string name_;
};

} // namespace testplugin
