#pragma once

// What `plugins` and `params` show beyond the library's public API: a factory's
// class descriptions (vendor, sub-categories, version) and, per parameter, the
// controller's hidden flag and its text for a value. Read straight through the
// VST 3 hosting helpers; nothing here processes audio.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnelvst::tool {

struct PluginClassDescription {
    std::string name;
    std::string vendor;
    std::string category;
    std::vector<std::string> subCategories;
    std::string version;
};

// The audio module classes of the bundle or library at `path`, in the factory's
// order; empty with `error` set when the module does not load or offers none.
std::vector<PluginClassDescription> describeAudioModuleClasses(const std::string& path, std::string& error);

// A second, private edit controller of a plug-in (set up like the library's: the
// last audio module class, with its own component and the component's state),
// asked only for descriptions, never for audio.
class ControllerInspector {
public:
    struct ParameterDetails {
        bool hidden = false;
    };

    ControllerInspector();
    ~ControllerInspector();
    ControllerInspector(const ControllerInspector&) = delete;
    ControllerInspector& operator=(const ControllerInspector&) = delete;

    // False with a one-line reason when the controller cannot be set up.
    bool open(const std::string& path, std::string& error);

    // The controller's description of `id`; empty for an id it does not list.
    std::optional<ParameterDetails> details(std::uint32_t id) const;
    // The controller's text for `id` at the normalised `value` (getParamStringByValue);
    // empty when the controller gives none.
    std::string valueText(std::uint32_t id, double value) const;

private:
    struct Internals;
    std::unique_ptr<Internals> internals;
};

} // namespace varnelvst::tool
