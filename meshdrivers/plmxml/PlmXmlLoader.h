#pragma once

// Reads a PLM XML product structure (schema version 4 or 6) into plain
// records: product definitions with their parts, instances, transforms and
// user values. Building the scene from them is PlmXmlScene's work.

#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "plmxml/PlmXmlAttributes.h"
#include "plmxml/PlmXmlElements.h"
#include "plmxml/PlmXmlRecordTable.h"
#include "scenegraph/ovMetadata.h"
#include "scenegraph/ovSpatial.h"
#include "system/ovIoDevice.h"
#include "system/ovProgressNotifier.h"
#include "system/ovVariantContainers.h"
#include "xml/ovXml.h"

namespace ov {

class ovPlmXmlMeshDriver;
namespace plmxml {
class PlmXmlSceneBuilder;
}
struct PlmXmlInstance;

// The texts of a product definition's records are views into its text store:
// a record is then a few small fields, and a large document reads through
// fewer cache lines.
struct PlmXmlPart {
    std::string_view id;
    plmxml::PlmXmlAttributeList attributes;
    std::string_view location;
    std::string_view name;
    std::string_view type;
    std::vector<std::string_view> instanceRefs;
    std::vector<PlmXmlInstance*> children;

    // Back to a new part's state, keeping the room of its lists.
    void clear();
};

struct PlmXmlInstance {
    std::string_view id;
    plmxml::PlmXmlAttributeList attributes;
    std::string_view partRef;
    std::string_view name;
    ovTransformation transform;
    PlmXmlPart* part = nullptr;
    ovPointer<ovInstanceDefId> definition;
    // Its place among the names of its product definition's instances.
    uint32_t group = 0;
    // The metadata of the first node built for this instance, which took
    // that map.
    const ovInstanceMetaData* firstMetadata = nullptr;
    // The estimated memory of its attributes with its part's merged in, once
    // in a map; set when its definition is.
    uint64_t metadataBytes = 0;
    // The estimated memory of the nodes this instance becomes with everything
    // under it, found by the structure check (0 before it is reached).
    uint64_t subtreeBytes = 0;

    // Back to a new instance's state, keeping the room of its list.
    void clear();
};

struct PlmXmlProductDef {
    std::string rootRef;
    plmxml::PlmXmlRecordTable<PlmXmlPart> parts;
    plmxml::PlmXmlRecordTable<PlmXmlInstance> instances;
    // The texts of the records and of their attributes.
    plmxml::PlmXmlTextStore texts;
    PlmXmlInstance* rootInstance = nullptr;

    // Empty for the next product definition, its records' room kept.
    void recycle();
};

// The device being parsed, counting the bytes read from it: how much of the
// document has been read bounds the memory its scene may take.
class PlmXmlCountingDevice : public ovIoDevice {
public:
    explicit PlmXmlCountingDevice(ovIoDevice& device) : mDevice(device) {}
    bool good() const override { return mDevice.good(); }
    int64_t write(const char* data, int64_t length) override { return mDevice.write(data, length); }
    int64_t read(char* data, int64_t length) override;
    uint64_t bytesRead() const { return mBytesRead; }

private:
    ovIoDevice& mDevice;
    uint64_t mBytesRead = 0;
};

class PlmXmlLoader : public plmxml::PlmXmlHandler {
public:
    enum Mode : int { NoDocumentElement = 0, SchemaVersion4 = 1, SchemaVersion6 = 2 };

    // The builder receives each product definition once its element ends;
    // its records are then dropped.
    PlmXmlLoader(ovIoDevice* device, ovPlmXmlMeshDriver* driver, plmxml::PlmXmlSceneBuilder& builder,
                 bool importMetadata, ovProgressNotifierInterface* progress);

    // Runs the SAX parser over the device, the progress notifier serving as
    // cancel interface; the records are then ready for reading.
    void parse();

    int startElement(std::string_view name, const xml::XmlAttributes& attributes) override;
    bool endElement(std::string_view name) override;

    // Hands the product definitions still held (one whose element contained
    // another, and so was no longer the open one at its end) to the builder.
    void handOverRemainingProductDefs();

    // Why the scene misplaces an instance: the first one placed only by a
    // transformRef (a Transform elsewhere, which strict reading does not
    // follow); empty when none is.
    const std::string& unfollowedTransform() const { return mUnfollowedTransform; }

    // The document element's attributes (of the last one, when a name comes twice).
    ovVariantMapImpl documentAttributes();

private:
    // The record an element opens, stored under its id in the open product
    // definition. Null when there is none (the element is ignored) or when the
    // id is taken (the load ends).
    template <typename Record>
    Record* newRecord(plmxml::PlmXmlRecordTable<Record> PlmXmlProductDef::*records,
                      const xml::XmlAttributes& attributes, const char* element, const char* kind);
    int startPart(const xml::XmlAttributes& attributes);
    int startInstance(const xml::XmlAttributes& attributes);
    void readUserValue(const xml::XmlAttributes& attributes);
    void readRepresentation(const xml::XmlAttributes& attributes);
    int startInstanceGraph(const xml::XmlAttributes& attributes);
    int startDocumentElement(const xml::XmlAttributes& attributes);
    void startProductDef();
    // Hands the product definition to the scene builder.
    void endProductDef();
    bool endTransform();
    void noteUnfollowedTransform();

    int mMode = NoDocumentElement;
    PlmXmlCountingDevice mDevice;
    bool mImportMetadata;
    bool mSkippingProductView = false;
    // Gathered as read, and made a map once at the end: a document may hold
    // very many of them.
    plmxml::PlmXmlAttributeList mDocumentAttributes;
    plmxml::PlmXmlTextStore mDocumentTexts;
    plmxml::PlmXmlAttributeNames mAttributeNames;
    // A list, so that the records stay where they are while more are added.
    std::list<PlmXmlProductDef> mProductDefs;
    // Product definitions the builder is done with, emptied for reuse.
    std::list<PlmXmlProductDef> mSpareProductDefs;
    PlmXmlProductDef* mCurrentProductDef = nullptr;
    PlmXmlInstance* mCurrentInstance = nullptr;
    PlmXmlPart* mCurrentPart = nullptr;
    // Where the open part's attribute texts go: the store of the product
    // definition that holds it, which need not be the open one.
    plmxml::PlmXmlTextStore* mCurrentPartTexts = nullptr;
    ovProgressNotifierInterface* mProgress;
    plmxml::PlmXmlSceneBuilder& mSceneBuilder;
    plmxml::TransformNumbers mNumbers{};
    // The open instance's transformRef, and whether a Transform inside it placed it.
    std::string mOpenTransformRef;
    bool mOpenInstancePlaced = false;
    std::string mUnfollowedTransform;
};

}  // namespace ov
