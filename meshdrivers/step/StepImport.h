#pragma once

#include <string>
#include <string_view>

#include "core/InputFiles.h"
#include "step/StepLoadSettings.h"

namespace ov::step {

class BrepMesher;
class PartFileReads;

struct StepReadOptions {
    // The products' and occurrences' properties are read.
    bool withProperties = true;
    // Meshes the exact B-rep shapes, when set.
    const BrepMesher* mesher = nullptr;
    StepLoadSettings meshing;
    // The part files of the whole load, shared by the files it reads; a
    // load that follows part files makes its own when unset.
    PartFileReads* parts = nullptr;
};

// Reads an AP203, AP214 or AP242 file into a scene in millimetres: a node
// per occurrence of a product (the root product's, or one named after the
// file holding each root product), named after its occurrence or else its
// product, placed in its parent, sharing an instance definition with the
// other occurrences of its product that holds the product's id
// ("productId") and its version's ("revision") where they differ from its
// name, and its properties when withProperties. A product's faceted and
// tessellated shapes become triangle meshes, coloured by their styles; its
// exact B-rep shapes are meshed by the mesher, a face styled apart from its
// shape keeping its colour, or without one left out with one warning that
// counts them. A product that names a STEP file as its document is that
// file's scene (read once, however often used), unless the settings keep
// it an external-reference node; it stays one, with a warning, when the file
// is not found.
// ReadError, naming the line, for a file that is not an exchange structure,
// names another schema, refers to an instance it lacks, places a product
// in itself, would expand beyond what its size allows, or holds no product
// and no mesh; for a file whose B-rep shapes the mesher could not mesh; and
// for a part file that cannot be read, lies outside a confined load's
// folder, leads back to a file that holds it, or lies too deep.
ImportedScene importStepText(std::string_view text, const std::string& source,
                             const StepReadOptions& options = {});
ImportedScene importStep(const std::string& path, const StepReadOptions& options = {});

}  // namespace ov::step
