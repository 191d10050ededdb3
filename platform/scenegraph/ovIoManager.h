#pragma once

#include <string>
#include <vector>

#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovImage.h"

namespace ov {

// Registry of drivers. It only borrows them: whoever registers a driver
// unregisters it before destroying it.
template <typename Driver>
class ovTemplateManager {
public:
    // Adds the driver once; enabled drivers take part in the search by
    // extension. Answers false for null or an already registered driver.
    bool registerDriver(Driver* driver, bool enabled);
    bool unregisterDriver(Driver* driver);
    // The registered drivers in registration order.
    std::vector<Driver*> getDrivers() const;
    size_t getDriverCount() const { return mEntries.size(); }

protected:
    struct Entry {
        Driver* driver;
        bool enabled;
    };
    std::vector<Entry> mEntries;
};

// The process's driver manager: saves and loads by path, picking the first
// enabled driver (in registration order) that announces the path's extension.
class ovIoManager : public ovTemplateManager<ovCoreMeshDriver> {
public:
    static ovIoManager msInstance;

    ovCoreMeshDriver* findSaveDriver(const std::string& extension) const;
    ovCoreMeshDriver* findLoadDriver(const std::string& extension) const;

    // False, with a log line, when no driver saves (loads) that extension;
    // otherwise the driver's answer.
    bool saveMeshes(const ovObjectList& objects, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options);
    bool saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string& extension,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options);
    bool loadMeshes(ovObjectList& objects, const std::string& path, ovProgressNotifierInterface* progress,
                    const LoadMeshOptions& options);

    ovImageIOManager& getImageIOManager() { return mImages; }

private:
    // The first enabled driver, in registration order, that accepts.
    template <typename Accepts>
    ovCoreMeshDriver* findDriver(Accepts accepts) const;
    // The same, logging that no driver "saves"/"loads" the extension when none accepts.
    template <typename Accepts>
    ovCoreMeshDriver* findDriverOrLog(const char* direction, const std::string& extension,
                                      Accepts accepts) const;

    ovImageIOManager mImages;
};

extern template class ovTemplateManager<ovCoreMeshDriver>;

}  // namespace ov
