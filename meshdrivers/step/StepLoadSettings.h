#pragma once

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov::step {

// How the STEP reader meshes exact B-rep shapes for one load, where a
// component that meshes them is linked (see BrepMesher.h), and whether it
// reads the part files an assembly names.
class OVMESHDRIVERS_API StepLoadSettings : public ovDriverSettings {
public:
    ~StepLoadSettings() override;

    // The largest distance between a surface and its triangles: a fraction of
    // the diagonal of the shape's box when relative, so that a screw and a
    // building come out equally smooth; else millimetres.
    double linearDeflection = 0.001;
    bool relativeDeflection = true;
    // The largest angle between the normals along an edge of a triangle, in
    // degrees: curved faces keep their round look however small they are.
    double angularDeflectionDegrees = 20;
    // How long meshing one file may take before it is stopped and the file
    // refused, in seconds.
    double timeoutSeconds = 600;
    // A product held in another STEP file (a document file the product
    // names) is read from that file, found from the folder of the file that
    // names it, unless this keeps it an external-reference node.
    bool keepPartReferences = false;
    // Every part file must lie in the folder of the file loaded or below it,
    // links resolved: for services that convert uploads.
    bool confine = false;
};

}  // namespace ov::step
