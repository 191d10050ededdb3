#include "scenegraph/ovCoreMeshDriver.h"

#include <algorithm>

#include "system/ovStringUtils.h"

namespace ov {

ovDriverSettings::~ovDriverSettings() = default;

namespace {

bool contains(const ovExtensionList& extensions, const std::string& extension) {
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

void addOnce(ovExtensionList& extensions, const std::string& extension) {
    std::string normalised =
        ovStringUtils::lowered(extension.starts_with('.') ? extension.substr(1) : extension);
    if (!normalised.empty() && !contains(extensions, normalised)) {
        extensions.push_back(std::move(normalised));
    }
}

HandleRequestResult acceptedWhen(bool accepted) {
    return accepted ? RequestAccepted : RequestRejected;
}

}  // namespace

ovCoreMeshDriver::ovCoreMeshDriver(bool deviceCapable) : mDeviceCapable(deviceCapable) {}

ovCoreMeshDriver::~ovCoreMeshDriver() = default;

ovSavedContent ovCoreMeshDriver::savedContent(const SaveMeshOptions&) const {
    return ovSavedContent::Geometry;
}

Wm4::Vector3f ovCoreMeshDriver::savedOrigin(const ovSpatial&) const {
    return Wm4::Vector3f(0, 0, 0);
}

bool ovCoreMeshDriver::loadMeshes(ovObjectList&, ovIoDevice&, const std::string&,
                                  ovProgressNotifierInterface*, const LoadMeshOptions&) {
    return false;
}

bool ovCoreMeshDriver::loadMeshes(ovObjectList&, const std::string&, ovProgressNotifierInterface*,
                                  const LoadMeshOptions&) {
    return false;
}

bool ovCoreMeshDriver::saveMeshes(const ovObjectList&, ovIoDevice&, const std::string&,
                                  ovProgressNotifierInterface*, const SaveMeshOptions&) {
    return false;
}

bool ovCoreMeshDriver::saveMeshes(const ovObjectList&, const std::string&, ovProgressNotifierInterface*,
                                  const SaveMeshOptions&) {
    return false;
}

HandleRequestResult ovCoreMeshDriver::canLoad(const MeshSource& source, const LoadMeshOptions& /*options*/) {
    return acceptedWhen(contains(getLoadExtensions(), extensionOf(source.second)));
}

HandleRequestResult ovCoreMeshDriver::canSave(const std::string& path, const SaveMeshOptions& /*options*/) {
    return acceptedWhen(contains(getSaveExtensions(), extensionOf(path)));
}

void ovCoreMeshDriver::addErrorMessage(const std::string& text, int code) {
    mErrorMessages.emplace_back(text, code);
}

std::string ovCoreMeshDriver::describeLoadExtension(const std::string& /*extension*/) const {
    return {};
}

std::string ovCoreMeshDriver::extensionOf(const std::string& path) {
    const size_t nameStart = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart)) {
        return {};
    }
    return ovStringUtils::lowered(path.substr(dot + 1));
}

void ovCoreMeshDriver::addLoadExtension(const std::string& extension) {
    addOnce(mLoadExtensions, extension);
}

void ovCoreMeshDriver::addSaveExtension(const std::string& extension) {
    addOnce(mSaveExtensions, extension);
}

}  // namespace ov
