#pragma once

// What the chosen profile decides about a STEP file, worked out once per
// save: every writing function asks these fields instead of the profile.

#include <string>
#include <vector>

#include "step/Part21Writer.h"
#include "step/StepSaveSettings.h"

namespace ov::step {

struct StepRules {
    Part21ValueSpelling values;
    // The header's schema identifiers, and whether its texts are encoded.
    std::vector<std::string> fileSchemas;
    bool encodedHeaderTexts = false;
    // The application protocol the file declares.
    std::string protocolSchemaName;
    int protocolYear = 0;
    StepGeometry geometry = StepGeometry::None;

    // The organization owns the written parts, listed once they are written;
    // otherwise its assignment comes first and lists none.
    bool ownedPartsListed = false;
    // Units the scene states, as readers know them (conversion-based inch and
    // foot, other scales multiplied into millimetres or metres), and a length
    // uncertainty; otherwise the long-standing units, never scaled.
    bool statedUnits = false;
    // Placements keep their rigid part; the rest is baked into a copy of the geometry.
    bool rigidPlacements = false;
    // Sets hold each member once: a parent's items the identity placement
    // once, sibling occurrences ids of their own.
    bool distinctSetMembers = false;
    // A document file names its file by its id only (its name and
    // description are those of the characterized object).
    bool documentFileById = false;
    // Occurrences carry their own instance metadata as properties.
    bool occurrenceProperties = false;
    // A value the writer refuses fails the save naming its node.
    bool refusalsNameTheirNode = false;
    // Empty categories and empty-list properties are left out.
    bool noEmptySets = false;
    // A product's id is the part number its definition states, its
    // formation's the stated revision (else both are its name).
    bool partNumbersAsIds = false;
    // Property values only in the item forms every CAD reader here knows
    // (integers, values with a measure, texts); otherwise one item type per value type.
    bool readablePropertyItems = false;

    static StepRules of(const StepSaveSettings& settings);
};

}  // namespace ov::step
