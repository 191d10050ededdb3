// The geometry library: one geometry per distinct vertex/index buffer pair.

#include <cstring>

#include "collada/ColladaDocumentWriter.h"
#include "collada/ColladaSupport.h"
#include "collada/XmlStreamWriter.h"
#include "collada/ovColladaMeshDriver.h"
#include "core/FloatText.h"
#include "scenegraph/ovBuffers.h"
#include "system/ovStringUtils.h"

namespace ov {
namespace {

constexpr const char* kParameterNames[3][3] = {{"X", "Y", "Z"}, {"S", "T", "P"}, {"R", "G", "B"}};

// Long texts (float arrays, index lists) reach the writer in pieces of about
// this size, so that a save holds no text that grows with the mesh.
constexpr size_t kTextPieceBytes = 64 * 1024;

// Gathers numbers, each followed by one blank, and hands them to the writer
// piece by piece.
class NumberText {
public:
    explicit NumberText(XmlStreamWriter& writer, int significantDigits = 6)
        : mWriter(writer), mDigits(significantDigits) {
        mText.reserve(kTextPieceBytes + 64);
    }
    ~NumberText() { mWriter.addTextPiece(mText); }
    NumberText(const NumberText&) = delete;
    NumberText& operator=(const NumberText&) = delete;

    void addFloat(float value) {
        appendFloat(mText, value, mDigits);
        endNumber();
    }
    void addIndex(uint32_t value) {
        appendInteger(mText, value);
        endNumber();
    }

private:
    void endNumber() {
        mText += ' ';
        if (mText.size() >= kTextPieceBytes) {
            mWriter.addTextPiece(mText);
            mText.clear();
        }
    }

    XmlStreamWriter& mWriter;
    int mDigits;
    std::string mText;
};

std::string geometryIdOf(const ovBaseGeometry& mesh, int index) {
    std::string id = mesh.GetName().empty() ? "geometry" : mesh.GetName();
    id += '_';
    id += std::to_string(index);
    id += "-geometry";
    ovColladaMeshDriver::buildCorrectId(id);
    return id;
}

void openInput(XmlStreamWriter& writer, const char* semantic, const std::string& sourceId) {
    writer.startElement("input");
    writer.addAttribute("semantic", semantic);
    writer.addAttribute("source", collada::referenceTo(sourceId));
}

// The texture-coordinate channels that get a source: present, with 2 or 3 components.
std::vector<int> writtenTexCoordChannels(const ovAttributes& attributes) {
    std::vector<int> channels;
    for (int channel = 0; channel < attributes.GetMaxTCoords(); ++channel) {
        const int components = attributes.GetTCoordChannels(channel);
        if (attributes.HasTCoord(channel) && (components == 2 || components == 3)) {
            channels.push_back(channel);
        }
    }
    return channels;
}

}  // namespace

bool collada::DocumentWriter::writeGeometries(const MeshList& meshes, ovProgressNotifierInterface* progress) {
    mWriter.startElement("library_geometries");
    for (size_t i = 0; i < meshes.size(); ++i) {
        if (!writeGeometry(meshes[i], static_cast<int>(i)) || advanceAndCheckCancel(progress, 1.0)) {
            return false;
        }
    }
    mWriter.endElement();
    if (mUncolouredGeometries > 0) {
        logLine(ovLogWarning) << "ovColladaMeshDriver, the vertex colours of " << mUncolouredGeometries
                              << " geometries are not written (the save's options leave them out)";
    }
    return mWriter.isOk();
}

bool collada::DocumentWriter::writeGeometry(ovBaseGeometry* mesh, int index) {
    ovVertexBuffer* vertices = mesh->getVertexBuffer();
    ovIndexBuffer* indices = mesh->getIndexBuffer();
    if (!vertices || !indices) {
        logLine(ovLogWarning) << "ovColladaMeshDriver::writeGeometry, mesh \"" << mesh->GetName()
                              << "\" has no vertex or index buffer and is left out";
        return true;
    }
    const std::string geometryId = geometryIdOf(*mesh, index);
    if (!geometryIds.emplace(std::make_pair(vertices, indices), geometryId).second) {
        return true;
    }
    // The buffers' CPU data, loaded only when absent, stay for this geometry.
    const ovDataLoader vertexData(vertices);
    const ovDataLoader indexData(indices);
    if (!vertices->hasCPUData() || !indices->hasCPUData()) {
        logLine(ovLogError) << "ovColladaMeshDriver::writeGeometry, the data of mesh \"" << mesh->GetName()
                            << "\" could not be loaded";
        return false;
    }
    return writeGeometryContent(*mesh, geometryId);
}

bool collada::DocumentWriter::writeGeometryContent(const ovBaseGeometry& mesh,
                                                   const std::string& geometryId) {
    const ovVertexBuffer& vertices = *mesh.getVertexBuffer();
    const ovAttributes& attributes = vertices.GetAttributes();
    const char* bytes = vertices.getDataByte();
    const uint64_t count = static_cast<uint64_t>(vertices.GetVertexQuantity());
    const uint64_t stride = static_cast<uint64_t>(attributes.GetChannelQuantityByte());
    const std::string materialId = materialIdOf(const_cast<ovBaseGeometry&>(mesh));

    openWithId("geometry", geometryId);
    mWriter.addAttribute("name", geometryId + "_name");
    mWriter.startElement("mesh");
    const std::string positionsId = geometryId + "-positions";
    const std::string normalsId = geometryId + "-normals";
    const std::string coloursId = geometryId + "-colors";
    const bool colours = attributes.HasColor() && mOptions.vertexColours;
    mUncolouredGeometries += attributes.HasColor() && !colours ? 1 : 0;
    if (!writeFloatArray(positionsId, 3, ovColladaMeshDriver::XYZ, bytes + attributes.GetPositionOffsetByte(),
                         count, stride)) {
        return false;
    }
    if (attributes.HasNormal() && !writeFloatArray(normalsId, 3, ovColladaMeshDriver::XYZ,
                                                   bytes + attributes.GetNormalOffsetByte(), count, stride)) {
        return false;
    }
    if (colours && !writeFloatArray(coloursId, 3, ovColladaMeshDriver::RGB,
                                    bytes + attributes.GetColorOffsetByte(), count, stride)) {
        return false;
    }
    const std::vector<int> channels = writtenTexCoordChannels(attributes);
    for (const int channel : channels) {
        if (!writeFloatArray(geometryId + "-tex" + std::to_string(channel),
                             attributes.GetTCoordChannels(channel), ovColladaMeshDriver::STP,
                             bytes + attributes.GetTCoordOffsetByte(channel), count, stride)) {
            return false;
        }
    }

    const std::string verticesId = geometryId + "-vertices";
    openWithId("vertices", verticesId);
    openInput(mWriter, "POSITION", positionsId);
    mWriter.endElement();
    if (attributes.HasNormal()) {
        openInput(mWriter, "NORMAL", normalsId);
        mWriter.endElement();
    }
    for (const int channel : channels) {
        openInput(mWriter, "TEXCOORD", geometryId + "-tex" + std::to_string(channel));
        mWriter.addAttribute("set", ovStringUtils::fromUInt(static_cast<uint32_t>(channel), 1));
        mWriter.endElement();
    }
    if (colours) {
        openInput(mWriter, "COLOR", coloursId);
        mWriter.endElement();
    }
    mWriter.endElement();
    writePrimitives(mesh, materialId, verticesId);
    mWriter.endElement();
    mWriter.endElement();
    return mWriter.isOk();
}

// Triangles, or the segments of a polyline.
void collada::DocumentWriter::writePrimitives(const ovBaseGeometry& mesh, const std::string& materialId,
                                              const std::string& verticesId) {
    const ovIndexBuffer& indices = *mesh.getIndexBuffer();
    const int indexCount = indices.GetIndexQuantity();
    const bool lines = mesh.IsDerived(ovLine::TYPE);
    mWriter.startElement(lines ? "lines" : "triangles");
    mWriter.addAttribute("count",
                         ovStringUtils::fromUInt(static_cast<uint32_t>(indexCount / (lines ? 2 : 3)), 1));
    if (!materialId.empty()) {
        mWriter.addAttribute("material", materialId);
    }
    mWriter.startElement("input");
    mWriter.addAttribute("offset", "0");
    mWriter.addAttribute("semantic", "VERTEX");
    mWriter.addAttribute("source", collada::referenceTo(verticesId));
    mWriter.endElement();
    mWriter.startElement("p");
    {
        NumberText text(mWriter);
        const int* data = indices.getData();
        for (int i = 0; i < indexCount; ++i) {
            text.addIndex(static_cast<uint32_t>(data[i]));
        }
    }
    mWriter.endElement();
    mWriter.endElement();
}

bool collada::DocumentWriter::writeFloatArray(const std::string& id, int componentCount,
                                              ovColladaMeshDriver::ColladaFloatArrayType type,
                                              const char* data, uint64_t count, uint64_t stride) {
    const uint64_t components = static_cast<uint64_t>(componentCount);
    openWithId("source", id);
    mWriter.addAttribute("name", id);
    openWithId("float_array", id + "-array");
    mWriter.addAttribute("count", ovStringUtils::fromUInt64(components * count, 1));
    {
        NumberText text(mWriter, significantDigits(mOptions));
        for (uint64_t v = 0; v < count; ++v) {
            const char* vertex = data + v * stride;
            for (uint64_t c = 0; c < components; ++c) {
                float value;
                std::memcpy(&value, vertex + 4 * c, sizeof value);
                text.addFloat(value);
            }
        }
    }
    mWriter.endElement();
    mWriter.startElement("technique_common");
    mWriter.startElement("accessor");
    if (type != ovColladaMeshDriver::XYZ && type != ovColladaMeshDriver::STP &&
        type != ovColladaMeshDriver::RGB) {
        logLine(ovLogError) << "ovColladaMeshDriver::writeFloatArray unhandled enum "
                            << static_cast<int>(type);
        return false;
    }
    mWriter.addAttribute("count", ovStringUtils::fromUInt64(count, 1));
    mWriter.addAttribute("offset", "0");
    mWriter.addAttribute("stride", ovStringUtils::fromUInt64(components, 1));
    mWriter.addAttribute("source", collada::referenceTo(id, "-array"));
    for (uint64_t c = 0; c < components; ++c) {
        mWriter.startElement("param");
        mWriter.addAttribute("name", kParameterNames[type][c]);
        mWriter.addAttribute("type", "float");
        mWriter.endElement();
    }
    mWriter.endElement();
    mWriter.endElement();
    mWriter.endElement();
    return mWriter.isOk();
}

}  // namespace ov
