#include "scenegraph/ovIoManager.h"

#include <algorithm>

#include "system/ovLog.h"

namespace ov {

template <typename Driver>
bool ovTemplateManager<Driver>::registerDriver(Driver* driver, bool enabled) {
    const bool known = std::any_of(mEntries.begin(), mEntries.end(),
                                   [driver](const Entry& e) { return e.driver == driver; });
    if (driver == nullptr || known) {
        return false;
    }
    mEntries.push_back({driver, enabled});
    return true;
}

template <typename Driver>
bool ovTemplateManager<Driver>::unregisterDriver(Driver* driver) {
    const auto entry = std::find_if(mEntries.begin(), mEntries.end(),
                                    [driver](const Entry& e) { return e.driver == driver; });
    if (entry == mEntries.end()) {
        return false;
    }
    mEntries.erase(entry);
    return true;
}

template <typename Driver>
std::vector<Driver*> ovTemplateManager<Driver>::getDrivers() const {
    std::vector<Driver*> drivers;
    drivers.reserve(mEntries.size());
    for (const Entry& entry : mEntries) {
        drivers.push_back(entry.driver);
    }
    return drivers;
}

template class ovTemplateManager<ovCoreMeshDriver>;

ovIoManager ovIoManager::msInstance;

namespace {

bool announces(const ovExtensionList& extensions, const std::string& extension) {
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

// "stl", ".stl" and "STL" all name the extension "stl".
std::string normalisedExtension(const std::string& extension) {
    return ovCoreMeshDriver::extensionOf("." + extension);
}

// The shortest path with that extension, for drivers that judge by path.
std::string pathWithExtension(const std::string& extension) {
    return "." + extension;
}

bool acceptsSave(ovCoreMeshDriver& driver, const std::string& extension, const std::string& path,
                 const SaveMeshOptions& options) {
    return announces(driver.getSaveExtensions(), extension) &&
           driver.canSave(path, options) == RequestAccepted;
}

bool acceptsLoad(ovCoreMeshDriver& driver, const std::string& extension, const std::string& path,
                 const LoadMeshOptions& options) {
    return announces(driver.getLoadExtensions(), extension) &&
           driver.canLoad({nullptr, path}, options) == RequestAccepted;
}

void logNoDriver(const char* direction, const std::string& extension) {
    ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true)
        << "No driver " << direction << " files of type '" << extension << "'";
}

}  // namespace

template <typename Accepts>
ovCoreMeshDriver* ovIoManager::findDriver(Accepts accepts) const {
    for (const Entry& entry : mEntries) {
        if (entry.enabled && accepts(*entry.driver)) {
            return entry.driver;
        }
    }
    return nullptr;
}

template <typename Accepts>
ovCoreMeshDriver* ovIoManager::findDriverOrLog(const char* direction, const std::string& extension,
                                               Accepts accepts) const {
    ovCoreMeshDriver* driver = findDriver(accepts);
    if (driver == nullptr) {
        logNoDriver(direction, extension);
    }
    return driver;
}

ovCoreMeshDriver* ovIoManager::findSaveDriver(const std::string& extension) const {
    const std::string wanted = normalisedExtension(extension);
    return findDriver([&wanted](ovCoreMeshDriver& driver) {
        return acceptsSave(driver, wanted, pathWithExtension(wanted), SaveMeshOptions());
    });
}

ovCoreMeshDriver* ovIoManager::findLoadDriver(const std::string& extension) const {
    const std::string wanted = normalisedExtension(extension);
    return findDriver([&wanted](ovCoreMeshDriver& driver) {
        return acceptsLoad(driver, wanted, pathWithExtension(wanted), LoadMeshOptions());
    });
}

bool ovIoManager::saveMeshes(const ovObjectList& objects, const std::string& path,
                             ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    const std::string extension = ovCoreMeshDriver::extensionOf(path);
    ovCoreMeshDriver* driver = findDriverOrLog("saves", extension, [&](ovCoreMeshDriver& candidate) {
        return acceptsSave(candidate, extension, path, options);
    });
    return driver != nullptr && driver->saveMeshes(objects, path, progress, options);
}

bool ovIoManager::saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string& extension,
                             ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    const std::string wanted = normalisedExtension(extension);
    ovCoreMeshDriver* driver = findDriverOrLog("saves", wanted, [&](ovCoreMeshDriver& candidate) {
        return candidate.isDeviceCapable() &&
               acceptsSave(candidate, wanted, pathWithExtension(wanted), options);
    });
    return driver != nullptr && driver->saveMeshes(objects, device, wanted, progress, options);
}

bool ovIoManager::loadMeshes(ovObjectList& objects, const std::string& path,
                             ovProgressNotifierInterface* progress, const LoadMeshOptions& options) {
    const std::string extension = ovCoreMeshDriver::extensionOf(path);
    ovCoreMeshDriver* driver = findDriverOrLog("loads", extension, [&](ovCoreMeshDriver& candidate) {
        return acceptsLoad(candidate, extension, path, options);
    });
    return driver != nullptr && driver->loadMeshes(objects, path, progress, options);
}

}  // namespace ov
