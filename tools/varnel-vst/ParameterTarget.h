#pragma once

#include <VSTModule.h>
#include <VSTProcessorNode.h>

#include <cstdint>
#include <string>
#include <vector>

namespace varnelvst::tool {

// The parameter operations the tool's settings use, on a node (`process`) or a
// bare module (`params`), which spell them differently. Titles are exact: the
// tool matches what people type before it asks. Control thread, as the library's.
class ParameterTarget {
public:
    using VSTParameter = varnel::extensions::vst::VSTParameter;
    using VSTParameterRange = varnel::extensions::vst::VSTParameterRange;

    virtual ~ParameterTarget() = default;
    virtual std::vector<VSTParameter> parameters() = 0;
    virtual bool range(std::uint32_t id, VSTParameterRange& range) = 0;
    virtual float value(std::uint32_t id) = 0;
    virtual std::string valueText(std::uint32_t id, double normalised) = 0;
    virtual bool set(const std::string& title, float normalised) = 0;
    virtual void set(std::uint32_t id, float normalised) = 0;
    virtual bool setValueNames(const std::string& title, const std::vector<std::string>& names) = 0;
    virtual bool setByValueName(const std::string& title, const std::string& name) = 0;
    virtual bool setPlain(const std::string& title, double plain) = 0;
    virtual bool setText(const std::string& title, const std::string& text) = 0;
    // Why the last refused call was refused.
    virtual std::string lastError() = 0;
};

class NodeParameters final : public ParameterTarget {
public:
    explicit NodeParameters(varnel::extensions::vst::VSTProcessorNode& node) : node(node) {}
    std::vector<VSTParameter> parameters() override { return node.getPluginParameters(); }
    bool range(std::uint32_t id, VSTParameterRange& range) override {
        return node.getPluginParameterRange(id, range);
    }
    float value(std::uint32_t id) override { return node.getParameterValue(id); }
    std::string valueText(std::uint32_t id, double normalised) override {
        return node.getPluginParameterValueText(id, normalised);
    }
    bool set(const std::string& title, float normalised) override {
        return node.setPluginParameter(title, normalised);
    }
    void set(std::uint32_t id, float normalised) override { node.setPluginParameter(id, normalised); }
    bool setValueNames(const std::string& title, const std::vector<std::string>& names) override {
        return node.setValueNamesForPluginParameter(title, names);
    }
    bool setByValueName(const std::string& title, const std::string& name) override {
        return node.setPluginParameterByValueName(title, name);
    }
    bool setPlain(const std::string& title, double plain) override {
        return node.setPluginParameterPlain(title, plain);
    }
    bool setText(const std::string& title, const std::string& text) override {
        return node.setPluginParameterByText(title, text);
    }
    std::string lastError() override { return node.getPluginLastError(); }

private:
    varnel::extensions::vst::VSTProcessorNode& node;
};

class ModuleParameters final : public ParameterTarget {
public:
    explicit ModuleParameters(varnel::extensions::vst::VSTModule& module) : module(module) {}
    std::vector<VSTParameter> parameters() override { return module.getParameters(); }
    bool range(std::uint32_t id, VSTParameterRange& range) override {
        return module.getParameterRange(id, range);
    }
    float value(std::uint32_t id) override { return module.getParameterValue(id); }
    std::string valueText(std::uint32_t id, double normalised) override {
        return module.getParameterValueText(id, normalised);
    }
    bool set(const std::string& title, float normalised) override {
        return module.setParameter(title, normalised);
    }
    void set(std::uint32_t id, float normalised) override { module.setParameter(id, normalised); }
    bool setValueNames(const std::string& title, const std::vector<std::string>& names) override {
        return module.setValueNamesForPluginParameter(title, names);
    }
    bool setByValueName(const std::string& title, const std::string& name) override {
        return module.setParameterByValueName(title, name);
    }
    bool setPlain(const std::string& title, double plain) override {
        return module.setParameterPlain(title, plain);
    }
    bool setText(const std::string& title, const std::string& text) override {
        return module.setParameterByText(title, text);
    }
    std::string lastError() override { return module.getLastError(); }

private:
    varnel::extensions::vst::VSTModule& module;
};

} // namespace varnelvst::tool
