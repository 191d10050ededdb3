#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovSpatial.h"

namespace ov {

// Files written for the parts of an assembly output. They are removed again
// when this goes out of scope, unless keep() was called once the assembly
// itself is written.
class OVMESHDRIVERS_API PartFiles {
public:
    PartFiles() = default;
    ~PartFiles();
    PartFiles(const PartFiles&) = delete;
    PartFiles& operator=(const PartFiles&) = delete;

    void add(const std::string& path) { mPaths.push_back(path); }
    void keep() { mKept = true; }

private:
    std::vector<std::string> mPaths;
    bool mKept = false;
};

// The first spatial, depth first, that is a mesh or a polyline or has one
// among its children; null when the scene holds no geometry.
OVMESHDRIVERS_API const ovSpatial* firstGeometryHolder(const ovSpatial& root);

// Saves a part's scene to a path; answers every file written for it (a
// COLLADA part has its images beside it).
using PartSaver = std::function<std::vector<std::string>(ovSpatial& part, const std::string& path)>;

// Moves the meshes and polylines of every node of the scene into a file of
// its own beside output (named after the output and the node, made unique,
// with the extension format, numbered as FileNameSet numbers), saved by
// savePart and recorded in files. Nodes
// that share an instance definition share one file. A node left without
// children becomes an external-reference node to its file; a node that also
// has child nodes keeps them and gets the reference as one more child. The
// scene is changed in place; answers its root, which may be a new object.
// With placeAtFileOrigin, each reference is placed where the format's save
// driver puts its file's origin (see ovCoreMeshDriver::savedOrigin), so that
// a part whose geometry the writer moves stays in place.
OVMESHDRIVERS_API ovPointer<ovSpatial> moveGeometryToPartFiles(ovSpatial& root, const std::string& output,
                                                               const std::string& format,
                                                               const PartSaver& savePart, PartFiles& files,
                                                               bool placeAtFileOrigin = false);

}  // namespace ov
