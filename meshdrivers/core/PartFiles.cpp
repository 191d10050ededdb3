#include "core/PartFiles.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <type_traits>

#include "core/FileNames.h"
#include "core/SceneWalk.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovIoManager.h"
#include "scenegraph/ovMetadata.h"
#include "system/ovFiles.h"

namespace ov {

namespace {

// The longest file name the usual file systems take, in bytes (NTFS counts
// UTF-16 units, never more than UTF-8 bytes).
constexpr size_t kMaxFileNameBytes = 255;
// Room kept for the number that makes a name unique ("-12345").
constexpr size_t kNumberRoom = 8;

bool isGeometry(const ovSpatial* spatial) {
    return spatial != nullptr && spatial->IsDerived(ovBaseGeometry::TYPE);
}

template <typename Spatial>
auto* asNode(Spatial* spatial) {
    using Node = std::conditional_t<std::is_const_v<Spatial>, const ovNode, ovNode>;
    return spatial != nullptr && spatial->IsDerived(ovNode::TYPE) ? static_cast<Node*>(spatial) : nullptr;
}

bool holdsGeometry(const ovNode& node) {
    for (int i = 0; i < node.getNbChildren(); ++i) {
        if (isGeometry(node.getChild(i))) {
            return true;
        }
    }
    return false;
}

// Nodes naming one instance definition are one part.
const void* partKey(const ovNode& node) {
    const auto* instance = node.findMetadata<const ovInstanceMetaData>();
    return instance != nullptr && instance->getInstanceDefId() != nullptr
               ? static_cast<const void*>(instance->getInstanceDefId())
               : &node;
}

// A file name from a node name: characters that file systems refuse or treat
// specially become '_'.
std::string fileNamePart(const std::string& name) {
    std::string safe = name.empty() ? "part" : name;
    std::replace_if(
        safe.begin(), safe.end(),
        [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            const bool letterOrDigit =
                (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
            return byte < 0x80 && !letterOrDigit && c != '-' && c != '_' && c != '.';
        },
        '_');
    return safe;
}

// The first bytes of text, at most size of them, never half a UTF-8 character.
std::string cutUtf8(std::string text, size_t size) {
    if (text.size() > size) {
        while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) {
            --size;
        }
        text.resize(size);
    }
    return text;
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) on "." + text at -O3.
std::string dottedExtension(const std::string& format) {
    std::string extension = ".";
    extension += format;
    return extension;
}

// Names the files of one output: "<output stem>-<node>.<format>", cut to a
// length file systems take, with a number added when two names are the same.
class PartNamer {
public:
    PartNamer(const std::string& output, const std::string& format)
        : mFolder(pathOfUtf8(output).parent_path()),
          mStem(utf8OfPath(pathOfUtf8(output).stem())),
          mExtension(dottedExtension(format)) {}

    // The file name and the full path.
    std::pair<std::string, std::string> next(const std::string& nodeName) {
        const std::string base = cutUtf8(mStem + "-" + fileNamePart(nodeName),
                                         kMaxFileNameBytes - kNumberRoom - mExtension.size());
        std::string name = mNames.give(base, mExtension);
        return {name, utf8OfPath(mFolder / pathOfUtf8(name))};
    }

private:
    std::filesystem::path mFolder;
    std::string mStem;
    std::string mExtension;
    FileNameSet mNames;
};

// A written part file, and where its origin lies in the part's frame.
struct PartFile {
    std::string name;
    Wm4::Vector3f origin{0, 0, 0};
};

// A reference placed at its file's origin.
ovPointer<ovXRefNode> referenceTo(const std::string& name, const PartFile& file) {
    ovPointer<ovXRefNode> reference(new ovXRefNode);
    reference->SetName(name);
    reference->setUtf8FilePath(file.name);
    if (file.origin != Wm4::Vector3f(0, 0, 0)) {
        reference->editLocalTransform(true).SetTranslate(file.origin);
    }
    return reference;
}

// The node itself as a reference: its place in the assembly and its metadata.
ovPointer<ovXRefNode> nodeAsReference(const ovNode& node, const PartFile& file) {
    ovPointer<ovXRefNode> reference = referenceTo(node.GetName(), file);
    ovTransformation& transform = reference->editLocalTransform(true);
    transform = file.origin != Wm4::Vector3f(0, 0, 0) ? transform.Then(node.getLocalTransform())
                                                      : node.getLocalTransform();
    for (int i = 0; i < node.getNbMetadata(); ++i) {
        reference->setMetadata(node.getMetadata(i));
    }
    return reference;
}

// Takes the node's meshes and polylines out into a new node of their own.
ovPointer<ovNode> takeGeometry(ovNode& node) {
    ovPointer<ovNode> part(new ovNode);
    part->SetName(node.GetName());
    for (int i = 0; i < node.getNbChildren(); ++i) {
        if (isGeometry(node.getChild(i))) {
            part->attachChild(node.detachChildAt(i).get());
        }
    }
    return part;
}

bool hasChildren(const ovNode& node) {
    for (int i = 0; i < node.getNbChildren(); ++i) {
        if (node.getChild(i) != nullptr) {
            return true;
        }
    }
    return false;
}

}  // namespace

PartFiles::~PartFiles() {
    if (mKept) {
        return;
    }
    for (const std::string& path : mPaths) {
        std::error_code ignored;
        std::filesystem::remove(pathOfUtf8(path), ignored);
    }
}

const ovSpatial* firstGeometryHolder(const ovSpatial& root) {
    if (isGeometry(&root)) {
        return &root;
    }
    const ovSpatial* holder = nullptr;
    walkScene(root, nullptr, [&holder](const WalkStep<const ovSpatial>& step) {
        const ovNode* node = asNode(&step.object);
        if (node != nullptr && holdsGeometry(*node)) {
            holder = node;
            return WalkNext::Stop;
        }
        return WalkNext::Children;
    });
    return holder;
}

ovPointer<ovSpatial> moveGeometryToPartFiles(ovSpatial& root, const std::string& output,
                                             const std::string& format, const PartSaver& savePart,
                                             PartFiles& files, bool placeAtFileOrigin) {
    const ovCoreMeshDriver* driver = ovIoManager::msInstance.findSaveDriver(format);
    ovPointer<ovNode> top(asNode(&root));
    if (!top) {
        top = new ovNode;
        top->SetName(root.GetName());
        top->attachChild(&root);
    }
    PartNamer namer(output, format);
    std::map<const void*, PartFile> fileOfPart;
    ovPointer<ovSpatial> replacedTop;
    // A node whose geometry moves out and that has nothing else becomes a
    // reference in its parent's slot, which ends its own walk.
    walkScene(*top, nullptr, [&](const WalkStep<ovSpatial>& step) {
        ovNode* node = asNode(&step.object);
        if (node == nullptr || !holdsGeometry(*node)) {
            return WalkNext::Children;
        }
        const ovPointer<ovNode> part = takeGeometry(*node);
        auto [file, added] = fileOfPart.try_emplace(partKey(*node));
        if (added) {
            const auto [name, path] = namer.next(node->GetName());
            for (const std::string& written : savePart(*part, path)) {
                files.add(written);
            }
            file->second.name = name;
            if (placeAtFileOrigin && driver != nullptr) {
                file->second.origin = driver->savedOrigin(*part);
            }
        }
        // A child reference in place and without the node's metadata:
        // the node's instance definition stays the node's own.
        if (hasChildren(*node)) {
            node->attachChild(referenceTo(node->GetName(), file->second).get());
            return WalkNext::Children;
        }
        if (step.depth == 0) {
            replacedTop = nodeAsReference(*node, file->second);
            return WalkNext::Stop;
        }
        node->getParent()->setChild(step.childIndex, nodeAsReference(*node, file->second).get());
        return WalkNext::Skip;
    });
    return replacedTop ? replacedTop : ovPointer<ovSpatial>(top.get());
}

}  // namespace ov
