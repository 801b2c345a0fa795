#pragma once

#include <map>
#include <optional>
#include <string>

#include "varnel/EventEmitter.h"
#include "varnel/Result.h"
#include "varnel/VLAny.h"

namespace varnel {

// Base of everything the framework exposes to applications: configuration
// entries, values and actions. Control threads only; the configuration entries
// are not synchronised, so they are set up before an object is shared.
class VarnelObject : public EventEmitter {
public:
    ~VarnelObject() override = default;

    // Default: stores value as the "value" of a registered configuration entry;
    // an unregistered key fails.
    virtual Result<void> setValue(const std::string& key, const VLAny& value);
    // Default: the "value" of a registered configuration entry (empty when the
    // description has none); an unregistered key fails.
    virtual Result<VLAny> getValue(const std::string& key);
    // Default: every action is unknown.
    virtual Result<VLAny> callAction(const std::string& name, const VLAnyMap& args);

    // Declares (or replaces) the configuration entry key with its description,
    // e.g. "name", "type", "description" and the current "value".
    void registerConfiguration(const std::string& key, const VLAnyMap& description);
    const std::map<std::string, VLAnyMap>& getConfigurations() const noexcept;
    std::optional<VLAnyMap> getConfiguration(const std::string& key) const;

private:
    std::map<std::string, VLAnyMap> configurations;
};

} // namespace varnel
