#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scenegraph/ovObject.h"
#include "scenegraph/ovSpatial.h"
#include "system/ovIoDevice.h"
#include "system/ovProgressNotifier.h"

namespace ov {

// One driver's own settings for one call. Each driver that has settings
// defines a subclass; a caller puts the settings of the drivers it cares about
// into the call's options, and a driver that finds none of its own uses its
// defaults. Settings travel with the call, so registered drivers hold no
// configuration and two threads can save with different settings.
class ovDriverSettings {
public:
    virtual ~ovDriverSettings();
};

class ovDriverSettingsList {
public:
    // Replaces settings of the same type already in the list.
    template <class Settings>
    void set(Settings settings) {
        std::erase_if(mSettings, [](const auto& held) { return dynamic_cast<const Settings*>(held.get()); });
        mSettings.push_back(std::make_shared<const Settings>(std::move(settings)));
    }

    template <class Settings>
    const Settings* find() const {
        for (const auto& held : mSettings) {
            if (const auto* settings = dynamic_cast<const Settings*>(held.get())) {
                return settings;
            }
        }
        return nullptr;
    }

    // The settings of that type, or its defaults.
    template <class Settings>
    Settings get() const {
        const Settings* found = find<Settings>();
        return found ? *found : Settings{};
    }

private:
    std::vector<std::shared_ptr<const ovDriverSettings>> mSettings;
};

struct LoadMeshOptions {
    // Keep the extra attributes and user values of the file as metadata.
    bool importMetadata = true;
    ovDriverSettingsList drivers{};
};

struct SaveMeshOptions {
    std::string fileName;  // name recorded inside the file, where the format has one
    std::string author;
    bool optionFlag = false;  // asks for a variant of the format some drivers decline
    bool lineBreaks = false;  // line breaks between elements of text formats
    // When set, a save that writes files beside its document (images,
    // buffers) lists their UTF-8 paths here once it succeeded: each call
    // learns its own, whatever other saves run beside it.
    std::vector<std::string>* companionFiles = nullptr;
    ovDriverSettingsList drivers{};

    void reportCompanionFiles(std::vector<std::string> paths) const {
        if (companionFiles != nullptr) {
            *companionFiles = std::move(paths);
        }
    }
};

// What a save keeps of a scene: everything; only its polylines, as a line
// drawing on a page; or only its nodes and external references, a mesh or a
// polyline failing the save.
enum class ovSavedContent { Geometry, Drawing, Structure };

enum HandleRequestResult : int { RequestRejected = 0, RequestAccepted = 1 };

// Extensions in the order a driver announces them, lower case, without dot.
using ovExtensionList = std::vector<std::string>;

// A file-format driver: saves and loads scenes through the driver manager.
// deviceCapable tells whether the driver can work on an ovIoDevice as well as
// on a path.
class ovCoreMeshDriver {
public:
    using MeshSource = std::pair<ovIoDevice*, std::string>;

    explicit ovCoreMeshDriver(bool deviceCapable);
    virtual ~ovCoreMeshDriver();
    ovCoreMeshDriver(const ovCoreMeshDriver&) = delete;
    ovCoreMeshDriver& operator=(const ovCoreMeshDriver&) = delete;

    // Accepted when the path's extension is one of the load (save) extensions.
    virtual HandleRequestResult canLoad(const MeshSource& source, const LoadMeshOptions& options);
    virtual HandleRequestResult canSave(const std::string& path, const SaveMeshOptions& options);
    // A driver overrides the directions it supports; every other one answers
    // false without looking at its arguments.
    virtual bool loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& path,
                            ovProgressNotifierInterface* progress, const LoadMeshOptions& options);
    virtual bool loadMeshes(ovObjectList& objects, const std::string& path,
                            ovProgressNotifierInterface* progress, const LoadMeshOptions& options);
    virtual bool saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string& path,
                            ovProgressNotifierInterface* progress, const SaveMeshOptions& options);
    virtual bool saveMeshes(const ovObjectList& objects, const std::string& path,
                            ovProgressNotifierInterface* progress, const SaveMeshOptions& options);
    virtual const ovExtensionList& getLoadExtensions() const { return mLoadExtensions; }
    // The driver's name for people: its class's, as hosts know it.
    virtual std::string getName() const = 0;
    // What files of one of its load extensions hold, in a few words, where the
    // extension does not say it plainly; empty otherwise.
    virtual std::string describeLoadExtension(const std::string& extension) const;
    virtual const ovExtensionList& getSaveExtensions() const { return mSaveExtensions; }

    // What a save with these options keeps of a scene; Geometry unless a
    // driver says otherwise.
    virtual ovSavedContent savedContent(const SaveMeshOptions& options) const;
    // Whether the files saved are assemblies, whose external references
    // may name part files beside them.
    virtual bool savesAssemblies() const { return false; }
    // Where the origin of the file a save of root writes lies in root's
    // frame: zero, unless the driver moves the geometry (STL puts its
    // minimum corner at the origin).
    virtual Wm4::Vector3f savedOrigin(const ovSpatial& root) const;

    bool isDeviceCapable() const { return mDeviceCapable; }
    // Messages the driver kept about its last requests, with their codes.
    void addErrorMessage(const std::string& text, int code);
    const std::vector<std::pair<std::string, int>>& getErrorMessages() const { return mErrorMessages; }
    void clearErrorMessages() { mErrorMessages.clear(); }

    // The text after the last "." of the path's file name, lower-cased; ""
    // when the file name has no dot.
    static std::string extensionOf(const std::string& path);

protected:
    // Adds an extension once (lower-cased, leading dot dropped).
    void addLoadExtension(const std::string& extension);
    void addSaveExtension(const std::string& extension);

private:
    bool mDeviceCapable;
    ovExtensionList mLoadExtensions;
    ovExtensionList mSaveExtensions;
    std::vector<std::pair<std::string, int>> mErrorMessages;
};

}  // namespace ov
