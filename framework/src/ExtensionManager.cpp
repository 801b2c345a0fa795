#include "varnel/ExtensionManager.h"

#include <exception>
#include <iterator>

#include "varnel/Logger.h"

namespace varnel {

ExtensionManager& ExtensionManager::getInstance() noexcept {
    static ExtensionManager instance;
    return instance;
}

void ExtensionManager::registerExtension(std::shared_ptr<Extension> extension) noexcept {
    if (!extension) {
        Logger::error("[ExtensionManager] ignored a null extension");
        return;
    }
    try {
        const std::lock_guard<std::mutex> lock(extensionsMutex);
        extensions.push_back(std::move(extension));
    } catch (const std::exception& failure) {
        Logger::error(std::string("[ExtensionManager] could not register an extension: ") + failure.what());
    }
}

std::vector<std::shared_ptr<Extension>> ExtensionManager::getExtensions() const noexcept {
    try {
        const std::lock_guard<std::mutex> lock(extensionsMutex);
        return extensions;
    } catch (const std::exception& failure) {
        Logger::error(std::string("[ExtensionManager] could not list the extensions: ") + failure.what());
        return {};
    }
}

std::shared_ptr<Extension> ExtensionManager::findExtension(const std::string& name) const noexcept {
    // Extension code runs on a snapshot, outside the lock.
    const std::vector<std::shared_ptr<Extension>> snapshot = getExtensions();
    for (auto extension = snapshot.rbegin(); extension != snapshot.rend(); ++extension) {
        try {
            if ((*extension)->getName() == name) {
                return *extension;
            }
        } catch (const std::exception& failure) {
            Logger::error(std::string("[ExtensionManager] an extension failed to give its name: ") +
                          failure.what());
        } catch (...) {
            Logger::error("[ExtensionManager] an extension failed to give its name");
        }
    }
    return nullptr;
}

std::unique_ptr<Node> ExtensionManager::createNode(const std::string& type, const VLAnyMap& config) noexcept {
    const std::vector<std::shared_ptr<Extension>> snapshot = getExtensions();
    try {
        // Newest first, so a later extension can take over a type name.
        for (auto extension = snapshot.rbegin(); extension != snapshot.rend(); ++extension) {
            const std::shared_ptr<NodeFactory> factory = (*extension)->getNodeFactory();
            if (!factory) {
                continue;
            }
            if (std::unique_ptr<Node> node{factory->createNode(type, config)}) {
                return node;
            }
        }
        Logger::error("[ExtensionManager] no extension creates nodes of type \"" + type + "\"");
    } catch (const std::exception& failure) {
        Logger::error("[ExtensionManager] creating a node of type \"" + type +
                      "\" failed: " + failure.what());
    } catch (...) {
        Logger::error("[ExtensionManager] creating a node of type \"" + type + "\" failed");
    }
    return nullptr;
}

void ExtensionManager::clearExtensions() noexcept {
    std::vector<std::shared_ptr<Extension>> dropped;
    {
        const std::lock_guard<std::mutex> lock(extensionsMutex);
        dropped.swap(extensions);
    }
    // Destroyed here, unlocked, in case an extension's destructor uses the manager.
}

} // namespace varnel
