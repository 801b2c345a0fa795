#include "varnel/VarnelObject.h"

namespace varnel {

Result<void> VarnelObject::setValue(const std::string& key, const VLAny& value) {
    const auto entry = configurations.find(key);
    if (entry == configurations.end()) {
        return Result<void>::failure("no configuration entry \"" + key + "\" to set");
    }
    entry->second["value"] = value;
    return Result<void>::success();
}

Result<VLAny> VarnelObject::getValue(const std::string& key) {
    const auto entry = configurations.find(key);
    if (entry == configurations.end()) {
        return Result<VLAny>::failure("no configuration entry \"" + key + "\" to read");
    }
    const auto value = entry->second.find("value");
    return Result<VLAny>::success(value == entry->second.end() ? VLAny{} : value->second);
}

Result<VLAny> VarnelObject::callAction(const std::string& name, const VLAnyMap&) {
    return Result<VLAny>::failure("unknown action \"" + name + "\"");
}

void VarnelObject::registerConfiguration(const std::string& key, const VLAnyMap& description) {
    configurations[key] = description;
}

const std::map<std::string, VLAnyMap>& VarnelObject::getConfigurations() const noexcept {
    return configurations;
}

std::optional<VLAnyMap> VarnelObject::getConfiguration(const std::string& key) const {
    const auto entry = configurations.find(key);
    if (entry == configurations.end()) {
        return std::nullopt;
    }
    return entry->second;
}

} // namespace varnel
