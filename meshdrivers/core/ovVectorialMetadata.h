#pragma once

#include <string>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovMetadata.h"

namespace ov {

// Page description of a scene saved as a 2-D line drawing: the page size in
// millimetres, the projection of scene points and their mapping onto the page.
class OVMESHDRIVERS_API ovVectorialMetadata : public ovMetadataInterface {
    OV_DECLARE_RTTI
public:
    static constexpr int MetadataTypeId = 11;

    ovVectorialMetadata();
    ~ovVectorialMetadata() override;

    ovObject* GetObjectByName(const std::string& name) override;
    void GetAllObjectsByName(const std::string& name, std::vector<ovObject*>& objects) override;
    ovObject* GetObjectByID(uint32_t id) override;
    // The page has no name of its own.
    void SetName(const std::string& name) override;
    const std::string& GetName() const override;

    std::string title;
    std::string description;
    int32_t pageWidth = 210;
    int32_t pageHeight = 297;
    // Scene point (row vector, w = 1) to projected point, row-major.
    float projection[16] = {};
    // Projected (X, Y) to page (u, v): u = a X + b Y + e, v = c X + d Y + f,
    // with pageMatrix = {a, b, c, d} and pageOffset = {e, f}.
    float pageMatrix[4] = {};
    float pageOffset[2] = {};
    // Line widths are divided by it.
    float widthScale = 1.1811024f;
};

}  // namespace ov
