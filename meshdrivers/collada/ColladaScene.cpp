// The visual scene: one node per spatial, nested as in the scene graph.

#include "collada/ColladaDocumentWriter.h"
#include "collada/ColladaSupport.h"
#include "collada/XmlStreamWriter.h"
#include "collada/ovColladaMeshDriver.h"
#include "core/FloatText.h"

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
std::string matrixText(const ovSpatial& spatial) {
    Wm4::Matrix4f homogeneous;
    spatial.getLocalTransform().GetHomogeneous(homogeneous);
    std::string text;
    for (size_t column = 0; column < 4; ++column) {
        for (size_t row = 0; row < 4; ++row) {
            appendFloat(text, homogeneous(row, column));
            text += ' ';
        }
    }
    return text;
}

// A group whose node is written: the children left to write are those from
// next up to end (a level-of-detail node writes only its first one).
struct OpenGroup {
    const ovNode* node;
    int next;
    int end;
};

int firstChildIndex(const ovNode& node) {
    for (int i = 0; i < node.getNbChildren(); ++i) {
        if (node.getChild(i)) {
            return i;
        }
    }
    return -1;
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

// The nodes of the subtree, in the order a recursive walk writes them, on a
// stack of open groups so that a deep scene cannot exhaust the thread's stack.
// A failure or cancellation leaves the open nodes open.
bool collada::DocumentWriter::writeSpatial(ovSpatial* spatial, int& nodeCounter,
                                           ovProgressNotifierInterface* progress) {
    if (!spatial) {
        return true;
    }
    std::vector<OpenGroup> groups;
    // Writes the node of one spatial; a group is left open on the stack.
    const auto enter = [&](ovSpatial& object) {
        const std::string id = nodeIdOf(object, nodeCounter++);
        openWithId("node", id);
        mWriter.addAttribute("name", id);
        writeTextElement("matrix", matrixText(object));
        if (object.IsDerived(ovTriMesh::TYPE)) {
            writeInstanceGeometry(static_cast<ovTriMesh&>(object));
            if (collada::advanceAndCheckCancel(progress, 0.5)) {
                return false;
            }
        } else if (object.IsDerived(ovLODNode::TYPE)) {
            const auto& lod = static_cast<const ovLODNode&>(object);
            const int first = firstChildIndex(lod);
            if (first >= 0) {
                collada::logDiagnostic(
                    "ovColladaMeshDriver::writeSpatial, lod node not supported, using only the most detailed "
                    "object");
            }
            groups.push_back({&lod, first < 0 ? 0 : first, first + 1});
            return true;
        } else if (object.IsDerived(ovNode::TYPE)) {
            const auto& node = static_cast<const ovNode&>(object);
            const int childCount = node.getNbChildren();
            if (progress && progress->isCanceled()) {
                return false;
            }
            groups.push_back({&node, 0, childCount});
            return true;
        }
        mWriter.endElement();
        return mWriter.isOk();
    };
    if (!enter(*spatial)) {
        return false;
    }
    while (!groups.empty()) {
        OpenGroup& group = groups.back();
        if (group.next >= group.end) {
            groups.pop_back();
            mWriter.endElement();
            if (!mWriter.isOk()) {
                return false;
            }
            continue;
        }
        ovSpatial* child = group.node->getChild(group.next++);
        if (child && !enter(*child)) {
            return false;
        }
    }
    return true;
}

void collada::DocumentWriter::writeInstanceGeometry(ovTriMesh& mesh) {
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
