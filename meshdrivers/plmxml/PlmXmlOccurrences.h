#pragma once

// The document reader: keeps every element of a PLM XML document that a
// product structure is made of, by id, and builds the scene from either of
// the two structures real exports hold (schema versions 4, 5 and 6):
// - the occurrence tree of a ProductView, which product data management
//   systems export. Each Occurrence lists its children (occurrenceRefs) and
//   places a revision (instancedRef, directly or through a revision view), or
//   the part of the last instance of its chain (instanceRefs); its Transform
//   is in the frame of the tree's root, as the chain's placements composed;
// - the instance graph of a ProductDef, as CAD systems export it: a root
//   instance (rootRefs or rootInstanceRef), each instance placing a part
//   (partRef) in the frame of its parent part, each part listing its
//   instances (instanceRefs).
// Elements are read by the kind the schema derives them from, not by their
// name alone (a DesignRevision is a revision, a DesignRevisionView a view).
// Ids resolve over the whole document, in any order, and so do transformRefs.

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "plmxml/PlmXmlAttributes.h"
#include "plmxml/PlmXmlElements.h"
#include "plmxml/PlmXmlLoader.h"
#include "plmxml/PlmXmlRecordTable.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"

namespace ov::plmxml {

// What the reader keeps of an element with an id that it reads: texts are
// views into the reader's text store, and the fields a kind of element does
// not have stay empty.
struct PlmXmlObject {
    // Occurrence, Instance, View and Revision: the elements of those kinds in
    // the schema, and of kinds derived from them.
    enum Kind : uint8_t { Occurrence, Instance, View, Revision, Other };
    static constexpr uint32_t kNone = UINT32_MAX;

    std::string_view id;
    Kind kind = Other;
    // Of a revision or a view, its product and the revision a view shows.
    std::string_view name;
    std::string_view revision;
    std::string_view subType;
    std::string_view masterRef;
    std::string_view revisionRef;
    std::string_view productId;
    // Of an occurrence or an instance: what it places (an instance's partRef
    // too), and its Transform when it is given elsewhere.
    std::string_view instancedRef;
    std::string_view transformRef;
    // Of an external file, or the file of a view's Representation.
    std::string_view location;
    std::string_view format;
    // An occurrence's children, a data set's files, or a view's instances.
    std::vector<std::string_view> refs;
    // An occurrence's chain of instances, from its tree's root down.
    std::vector<std::string_view> chain;
    // A revision's data sets, with their roles.
    std::vector<std::pair<std::string_view, std::string_view>> dataSets;
    // User values, and for an occurrence or an instance what the scene keeps
    // of it besides (visibility, colour, quantity).
    PlmXmlAttributeList userValues;
    // An occurrence's or instance's own Transform among the reader's, or kNone.
    uint32_t transform = kNone;
    // A revision's instance definition among the builder's, or kNone.
    uint32_t definition = kNone;
    // An occurrence's or instance's place in the walk of the tree.
    uint8_t visit = 0;

    void clear();
};

// Which structure of the document a scene is built from.
enum class PlmXmlStructure { Occurrences, Instances };

// How far a reading came: its structure is not in the document, its root is
// named, or a root node was made. Of several failed readings, the reason of
// the one that came furthest is the one told.
enum class PlmXmlProgress : uint8_t { NoStructure, RootNamed, RootRead };

// Reads the document once; then builds the scene of either structure.
// Problems that end the load go to the driver as messages of code -1;
// problems that lose an element but keep the load go there as warnings ("W: ").
class PlmXmlDocumentReader : public PlmXmlHandler {
public:
    // documentFolder: where file locations are resolved from (empty: they
    // are kept relative). maxExpansion: as ovPlmXmlMeshDriver's.
    PlmXmlDocumentReader(ovIoDevice& device, ovCoreMeshDriver& driver, bool importMetadata,
                         ovProgressNotifierInterface* progress, double maxExpansion,
                         std::string documentFolder);

    // False when the document could not be read (its reason then given).
    bool parse();
    // The tree of the structure's root, or an unnamed node holding the tree
    // of each when there are several; null on failure. Only after parse; a
    // document may be built as each structure in turn.
    ovPointer<ovNode> build(PlmXmlStructure structure);
    // How far the last build came.
    PlmXmlProgress progress() const { return mProgressMade; }
    ovVariantMapImpl documentAttributes();

    int startElement(std::string_view name, const xml::XmlAttributes& attributes) override;
    bool endElement(std::string_view name) override;

    // What a build needs of the records read.
    PlmXmlObject* find(std::string_view ref);
    // The object's own Transform, given inside it or by its transformRef; null
    // when it has none. missing tells of a transformRef that names no readable
    // Transform.
    const TransformNumbers* transformOf(const PlmXmlObject& object, bool& missing);
    const std::vector<std::string_view>& roots(PlmXmlStructure structure) const {
        return structure == PlmXmlStructure::Occurrences ? mOccurrenceRoots : mInstanceRoots;
    }
    const PlmXmlAttributeNames& attributeNames() const { return mAttributeNames; }
    void setProgressMade(PlmXmlProgress made) { mProgressMade = made; }

private:
    int startDocumentElement(const xml::XmlAttributes& attributes);
    void startObject(PlmXmlObject::Kind kind, const xml::XmlAttributes& attributes);
    void readObjectAttributes(PlmXmlObject& object, const xml::XmlAttributes& attributes);
    void readDataSetLink(const xml::XmlAttributes& attributes);
    void readRoots(const xml::XmlAttributes& attributes, std::string_view listed, std::string_view single,
                   std::vector<std::string_view>& roots);
    // What an element inside an object adds to it: a colour, a file.
    void readOwnedValue(const xml::XmlAttributes& attributes, std::string_view key, std::string_view title);
    void startTransform(const xml::XmlAttributes& attributes);
    bool endTransform();

    PlmXmlCountingDevice mDevice;
    bool mImportMetadata;
    ovProgressNotifierInterface* mProgress;
    double mMaxExpansion;
    std::string mDocumentFolder;
    bool mDocumentElementRead = false;
    PlmXmlProgress mProgressMade = PlmXmlProgress::NoStructure;
    PlmXmlRecordTable<PlmXmlObject> mObjects;
    PlmXmlTextStore mTexts;
    PlmXmlAttributeNames mAttributeNames;
    PlmXmlAttributeList mDocumentAttributes;
    std::vector<std::string_view> mOccurrenceRoots;
    std::vector<std::string_view> mInstanceRoots;
    std::vector<TransformNumbers> mTransforms;
    // Every Transform with an id, and the index of them made when a
    // transformRef is first looked up (documents without one never make it).
    std::vector<std::pair<std::string_view, uint32_t>> mTransformIds;
    std::unordered_map<std::string_view, uint32_t> mTransformIndex;
    // For each open element, the object that holds what it contains (the
    // innermost open element read as an object), or null.
    std::vector<PlmXmlObject*> mOwners;
    // The Transform being read: the object it belongs to (or null), its id.
    bool mInTransform = false;
    PlmXmlObject* mTransformOwner = nullptr;
    std::string_view mTransformId;
};

}  // namespace ov::plmxml
