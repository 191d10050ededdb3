#pragma once

#include <string>
#include <vector>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

// What a glTF save is told, in its options (SaveMeshOptions::drivers).
struct OVMESHDRIVERS_API GltfSaveSettings : ovDriverSettings {
    ~GltfSaveSettings() override;

    enum class UpAxis { Y, Z };
    // The scene's up axis.
    UpAxis upAxis = UpAxis::Z;
    // Files beside a .gltf document are named after this stem (STEM-buffer.bin,
    // STEM-IMAGE.png), as a safe name in the document's folder; the
    // document's own stem when empty.
    std::string companionFileStem;
};

// Saves one scene, given by its root spatial, as glTF 2.0: a binary .glb
// file that holds everything, or a .gltf document with its binary data and
// its images (PNG, or JPEG as read) in files beside it. Saves to a path only.
//
// Every spatial becomes a node with its name and placement, under one root
// node that turns the scene's units (its world-units metadata; metres when
// it has none) into metres and its up axis into glTF's +Y. Triangle meshes
// and polylines become meshes of one primitive (TRIANGLES or LINES) with
// positions, normals, texture coordinates and colours where the vertices
// have them; a mesh whose buffers and material another has already is
// written once. External references name their file in the node's extras.
//
// Materials are metallic-roughness ones. One whose physically based terms
// are stated (ovMaterialState::pbr) is written as stated, with its base
// colour, metallic-roughness, normal (and tangents for it), occlusion and
// emissive maps. Any other is derived: the diffuse colour is the base colour
// (white under a diffuse texture), the alpha below 1 blends, the emission is
// emissive, metallic is 0 and the roughness follows the shininess as
// sqrt(2 / (shininess + 2)), with diffuse and emission maps alone. Maps no
// slot takes are logged and left out. An image still as decoded from a JPEG
// file is written as that file; others as PNG. glTF's texture coordinates
// start at the top of the image: PNG images are written upside down, or,
// with a JPEG file among them, every image the right way up and the
// coordinates as 1 - v.
//
// A failed or cancelled save answers false and leaves no file it wrote: the
// files beside a .gltf take their names only once the document is whole, and
// are listed in SaveMeshOptions::companionFiles.
class OVMESHDRIVERS_API GltfMeshDriver : public ovCoreMeshDriver {
public:
    GltfMeshDriver();
    ~GltfMeshDriver() override;
    std::string getName() const override { return "GltfMeshDriver"; }

    bool saveMeshes(const ovObjectList& objects, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;
};

}  // namespace ov
