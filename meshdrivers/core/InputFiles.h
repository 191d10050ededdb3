#pragma once

// What the readers of model files share, the optional components' included:
// how a read fails, which files a model may name, and how those are found.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/TextureImages.h"
#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"

namespace ov {

// A read that cannot go on. The text names the file (and line) it is about;
// a driver hands it on as its message and answers false.
class OVMESHDRIVERS_API ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ~ReadError() override;
};

// What a reader of a model does besides reading the model itself.
class OVMESHDRIVERS_API ImportSettings : public ovDriverSettings {
public:
    // Texture images are decoded; off when the output holds none.
    bool textures = true;
    // The pixels they may decode to, together (see PixelBudget).
    uint64_t texturePixels = PixelBudget::kDefaultPixels;
    // Every file the model names (material libraries, texture images,
    // buffers, part files) must lie in the model's folder or below it, links
    // resolved: for services that convert uploads.
    bool confine = false;
};

// What a reader gives back: the scene, and the conditions it survived (a
// missing material library...).
struct ImportedScene {
    ovPointer<ovNode> root;
    std::vector<std::string> warnings;
};

// The folder tree the files a model names must stay in, when its read is
// confined; otherwise any file may be named.
class OVMESHDRIVERS_API Confinement {
public:
    // folder is the model's; unconfined unless confine.
    Confinement(const std::filesystem::path& folder, bool confine);

    bool admits(const std::filesystem::path& file) const;
    // ReadError naming source when file, which the model names as named,
    // lies outside.
    void require(const std::filesystem::path& file, const std::string& named,
                 const std::string& source) const;

private:
    std::optional<std::filesystem::path> mRoot;
};

// A file opened for binary reading (a UTF-8 path); ReadError with the reason
// when it cannot be.
OVMESHDRIVERS_API std::ifstream openForReading(const std::string& path);

// The whole content of a file; ReadError with the reason when it cannot be read.
OVMESHDRIVERS_API std::string readWholeFile(const std::string& path);

// The whole content of a device, for readers that need the file at once;
// ReadError naming source when a read fails.
OVMESHDRIVERS_API std::string readWholeDevice(ovIoDevice& device, const std::string& source);

// A URI reference's %XX escapes decoded (glTF names its files so); an
// escape that is not one stays as written.
OVMESHDRIVERS_API std::string percentDecoded(std::string_view uri);

// Where a file that a model names (a material library, a texture image)
// lives: relative to the folder of the model, with Windows separators taken
// as folder separators; failing that, by its bare name in that folder; and
// each with its %XX escapes decoded when no file has the name as written.
OVMESHDRIVERS_API std::optional<std::filesystem::path> locateNamedFile(const std::filesystem::path& folder,
                                                                       std::string name);

// Runs read, a reader's work, for a driver: its failure (a ReadError, or
// memory refused) becomes the driver's error message and false, since no
// exception crosses the driver interface; the warnings of what it read become its
// warning messages, and the scene goes into objects.
template <typename Read>
bool loadImported(ovCoreMeshDriver& driver, ovObjectList& objects, Read read) {
    constexpr int kMessageCode = 1;
    try {
        ImportedScene imported = read();
        for (const std::string& warning : imported.warnings) {
            driver.addErrorMessage("W: " + warning, kMessageCode);
        }
        objects.push_back(ovPointer<ovObject>(imported.root.get()));
        return true;
    } catch (const std::exception& failure) {
        driver.addErrorMessage(std::string("E: ") + failure.what(), kMessageCode);
        return false;
    }
}

}  // namespace ov
