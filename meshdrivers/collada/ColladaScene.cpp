// The visual scene: one node per spatial, nested as in the scene graph.

#include "collada/ColladaDocumentWriter.h"
#include "collada/ColladaSupport.h"
#include "collada/XmlStreamWriter.h"
#include "collada/ovColladaMeshDriver.h"
#include "core/FloatText.h"
#include "core/SceneWalk.h"

namespace ov {
namespace {

std::string sceneIdOf(const ovSpatial& root) {
    std::string id = root.GetName().empty() ? "scene" : "scene_" + root.GetName();
    ovColladaMeshDriver::buildCorrectId(id);
    return id;
}

std::string nodeIdOf(const ovSpatial& spatial, int counter) {
    std::string id;
    if (!spatial.GetName().empty()) {
        id = spatial.GetName() + "_" + std::to_string(counter);
    } else {
        id = (spatial.IsDerived(ovTriMesh::TYPE) ? "geometry_" : "node_") + std::to_string(counter);
    }
    ovColladaMeshDriver::buildCorrectId(id);
    return id;
}

// The homogeneous matrix of the local placement, column by column.
std::string matrixText(const ovSpatial& spatial, int significantDigits) {
    Wm4::Matrix4f homogeneous;
    spatial.getLocalTransform().GetHomogeneous(homogeneous);
    std::string text;
    for (size_t column = 0; column < 4; ++column) {
        for (size_t row = 0; row < 4; ++row) {
            appendFloat(text, homogeneous(row, column), significantDigits);
            text += ' ';
        }
    }
    return text;
}

int firstChildIndex(const ovNode& node) {
    for (int i = 0; i < node.getNbChildren(); ++i) {
        if (node.getChild(i)) {
            return i;
        }
    }
    return -1;
}

// A level-of-detail node writes only its first, most detailed child.
bool isLesserLevelOfDetail(const WalkStep<ovSpatial>& step) {
    const ovNode* parent = step.object.getParent();
    return step.depth > 0 && parent->IsDerived(ovLODNode::TYPE) &&
           step.childIndex != firstChildIndex(*parent);
}

}  // namespace

bool collada::DocumentWriter::writeScene(ovSpatial* root, std::string& sceneId,
                                         ovProgressNotifierInterface* progress) {
    sceneId = sceneIdOf(*root);
    mWriter.startElement("library_visual_scenes");
    openWithId("visual_scene", sceneId);
    mWriter.addAttribute("name", sceneId);
    int nodeCounter = 0;
    const bool written = writeSpatial(root, nodeCounter, progress);
    mWriter.endElement();
    mWriter.endElement();
    return written && mWriter.isOk();
}

// The nodes of the subtree, each group closed after its children. A failure
// or cancellation leaves the open nodes open.
bool collada::DocumentWriter::writeSpatial(ovSpatial* spatial, int& nodeCounter,
                                           ovProgressNotifierInterface* progress) {
    if (!spatial) {
        return true;
    }
    bool closeFailed = false;
    const auto enter = [&](const WalkStep<ovSpatial>& step) {
        if (closeFailed) {
            return WalkNext::Stop;
        }
        if (isLesserLevelOfDetail(step)) {
            return WalkNext::Skip;
        }
        ovSpatial& object = step.object;
        const std::string id = nodeIdOf(object, nodeCounter++);
        openWithId("node", id);
        mWriter.addAttribute("name", id);
        writeTextElement("matrix", matrixText(object, collada::significantDigits(mOptions)));
        if (isWrittenGeometry(object)) {
            writeInstanceGeometry(static_cast<ovBaseGeometry&>(object));
            if (advanceAndCheckCancel(progress, 0.5)) {
                return WalkNext::Stop;
            }
        } else if (object.IsDerived(ovLODNode::TYPE)) {
            if (firstChildIndex(static_cast<const ovLODNode&>(object)) >= 0) {
                logDiagnostic(
                    "ovColladaMeshDriver::writeSpatial, lod node not supported, using only the most detailed "
                    "object");
            }
            return WalkNext::Children;
        } else if (object.IsDerived(ovNode::TYPE)) {
            return progress && progress->isCanceled() ? WalkNext::Stop : WalkNext::Children;
        }
        mWriter.endElement();
        return mWriter.isOk() ? WalkNext::Skip : WalkNext::Stop;
    };
    const auto leave = [&](const WalkStep<ovSpatial>&) {
        mWriter.endElement();
        closeFailed = closeFailed || !mWriter.isOk();
    };
    return walkScene(*spatial, nullptr, enter, leave) && !closeFailed;
}

void collada::DocumentWriter::writeInstanceGeometry(ovBaseGeometry& mesh) {
    const auto geometry = geometryIds.find({mesh.getVertexBuffer(), mesh.getIndexBuffer()});
    if (geometry == geometryIds.end()) {
        return;
    }
    mWriter.startElement("instance_geometry");
    mWriter.addAttribute("url", collada::referenceTo(geometry->second));
    const std::string materialId = materialIdOf(mesh);
    if (!materialId.empty()) {
        mWriter.startElement("bind_material");
        mWriter.startElement("technique_common");
        mWriter.startElement("instance_material");
        mWriter.addAttribute("symbol", materialId);
        mWriter.addAttribute("target", collada::referenceTo(materialId, "ID"));
        for (int element = 0; element < 3; ++element) {
            mWriter.endElement();
        }
    }
    mWriter.endElement();
}

}  // namespace ov
