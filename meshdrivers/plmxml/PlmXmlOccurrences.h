#pragma once

// The occurrence reader: builds the scene from a PLM XML document's
// ProductView, the occurrence tree that product data management systems
// export (schema versions 4, 5 and 6). Each Occurrence lists its children
// (occurrenceRefs) and names what it places (instancedRef: a product
// revision, directly or through a revision view); its Transform is in the
// frame of the tree's root. A revision reaches its files through data sets.
// Ids resolve over the whole document, in any order.

#include <string>
#include <string_view>
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
    enum Kind : uint8_t { Occurrence, Other };
    static constexpr uint32_t kNone = UINT32_MAX;

    std::string_view id;
    Kind kind = Other;
    // Of a revision (or a v4 part), its product and a view of it.
    std::string_view name;
    std::string_view revision;
    std::string_view subType;
    std::string_view masterRef;
    std::string_view revisionRef;
    std::string_view productId;
    // Of an occurrence.
    std::string_view instancedRef;
    // Of an external file.
    std::string_view location;
    std::string_view format;
    // An occurrence's children, or a data set's files.
    std::vector<std::string_view> refs;
    // A revision's data sets, with their roles.
    std::vector<std::pair<std::string_view, std::string_view>> dataSets;
    PlmXmlAttributeList userValues;
    // An occurrence's Transform among the reader's, or kNone.
    uint32_t transform = kNone;
    // A revision's instance definition among the builder's, or kNone.
    uint32_t definition = kNone;
    // An occurrence's place in the walk of the tree.
    uint8_t visit = 0;

    void clear();
};

// Reads the document, then builds its occurrence tree. Problems that end
// the load go to the driver as messages of code -1; problems that lose an
// occurrence but keep the load go there as warnings ("W: ").
class PlmXmlOccurrenceReader : public PlmXmlHandler {
public:
    // documentFolder: where file locations are resolved from (empty: they
    // are kept relative). maxExpansion: as ovPlmXmlMeshDriver's.
    PlmXmlOccurrenceReader(ovIoDevice& device, ovCoreMeshDriver& driver, bool importMetadata,
                           ovProgressNotifierInterface* progress, double maxExpansion,
                           std::string documentFolder);

    // The tree of the document's root occurrence, or an unnamed node holding
    // the tree of each when there are several; null on failure.
    ovPointer<ovNode> load();
    ovVariantMapImpl documentAttributes();

    int startElement(std::string_view name, const xml::XmlAttributes& attributes) override;
    bool endElement(std::string_view name) override;

    // What load() needs of the records it read.
    PlmXmlObject* find(std::string_view ref);
    const TransformNumbers* transformOf(const PlmXmlObject& occurrence) const;
    const std::vector<std::string_view>& roots() const { return mRoots; }
    const PlmXmlAttributeNames& attributeNames() const { return mAttributeNames; }

private:
    int startDocumentElement(const xml::XmlAttributes& attributes);
    void startObject(std::string_view element, const xml::XmlAttributes& attributes);
    void readObjectAttributes(PlmXmlObject& object, const xml::XmlAttributes& attributes);
    void readDataSetLink(const xml::XmlAttributes& attributes);
    bool endTransform();

    PlmXmlCountingDevice mDevice;
    bool mImportMetadata;
    ovProgressNotifierInterface* mProgress;
    double mMaxExpansion;
    std::string mDocumentFolder;
    bool mDocumentElementRead = false;
    PlmXmlRecordTable<PlmXmlObject> mObjects;
    PlmXmlTextStore mTexts;
    PlmXmlAttributeNames mAttributeNames;
    PlmXmlAttributeList mDocumentAttributes;
    std::vector<std::string_view> mRoots;
    std::vector<TransformNumbers> mTransforms;
    // For each open element, the object that holds what it contains (the
    // innermost open element read as an object), or null.
    std::vector<PlmXmlObject*> mOwners;
    // The occurrence whose Transform is open, or null.
    PlmXmlObject* mTransformOwner = nullptr;
};

}  // namespace ov::plmxml
