#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "varnel/Extension.h"
#include "varnel/Node.h"
#include "varnel/VLAny.h"

namespace varnel {

// The process-wide register of extensions. Any control thread: every call
// takes the manager's lock, and extension code runs outside it, so an extension
// may call back into the manager.
class ExtensionManager {
public:
    static ExtensionManager& getInstance() noexcept;

    ExtensionManager(const ExtensionManager&) = delete;
    ExtensionManager& operator=(const ExtensionManager&) = delete;

    // Keeps a shared owner of extension; a null extension is logged and ignored.
    void registerExtension(std::shared_ptr<Extension> extension) noexcept;
    // In the order of registration.
    std::vector<std::shared_ptr<Extension>> getExtensions() const noexcept;
    // The extension of that name registered last, or null.
    std::shared_ptr<Extension> findExtension(const std::string& name) const noexcept;

    // Asks each extension's factory, newest extension first, and returns the
    // first node made; null (and a log line) when none serves type. A factory
    // that throws stops the search: its failure is logged and null returned.
    std::unique_ptr<Node> createNode(const std::string& type, const VLAnyMap& config) noexcept;

    // Drops every extension, for tests that need a clean register.
    void clearExtensions() noexcept;

private:
    ExtensionManager() = default;

    mutable std::mutex extensionsMutex;
    std::vector<std::shared_ptr<Extension>> extensions;
};

} // namespace varnel
