#pragma once

#include <string>
#include <utility>
#include <vector>

#include "scenegraph/ovObject.h"
#include "system/ovIoDevice.h"
#include "system/ovProgressNotifier.h"

namespace ov {

struct LoadMeshOptions {
    // Keep the extra attributes and user values of the file as metadata.
    bool importMetadata = true;
};

struct SaveMeshOptions {
    std::string fileName;  // name recorded inside the file, where the format has one
    std::string author;
    bool optionFlag = false;  // asks for a variant of the format some drivers decline
    bool lineBreaks = false;  // line breaks between elements of text formats
};

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
    virtual const ovExtensionList& getSaveExtensions() const { return mSaveExtensions; }

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
