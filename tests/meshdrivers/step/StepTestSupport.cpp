#include "StepTestSupport.h"

namespace ov::step {

namespace {

const void* definitionKeyOf(const ovNode& node) {
    const auto* instance =
        static_cast<const ovInstanceMetaData*>(node.findMetadata(ovInstanceMetaData::MetadataTypeId));
    return instance != nullptr ? static_cast<const void*>(instance->getInstanceDefId()) : &node;
}

const ovNode* asNode(const ovSpatial* spatial) {
    return spatial != nullptr && spatial->IsDerived(ovNode::TYPE) ? static_cast<const ovNode*>(spatial)
                                                                  : nullptr;
}

bool opensChildren(const ovNode& node) {
    return !node.IsDerived(ovXRefNode::TYPE);
}

// The node whose subtree the file holds for each definition key.
std::map<const void*, const ovNode*> writtenNodes(const ovNode& root) {
    std::map<const void*, const ovNode*> written;
    std::vector<const ovNode*> pending{&root};
    while (!pending.empty()) {
        const ovNode* node = pending.back();
        pending.pop_back();
        if (!written.try_emplace(definitionKeyOf(*node), node).second || !opensChildren(*node)) {
            continue;
        }
        for (int i = node->getNbChildren(); i-- > 0;) {
            if (const ovNode* child = asNode(node->getChild(i))) {
                pending.push_back(child);
            }
        }
    }
    return written;
}

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return std::string(text) == "-0.000000" ? "0.000000" : text;
}

std::string placementText(const ovTransformation& transform) {
    Wm4::Matrix4<float> m;
    transform.GetHomogeneous(m);
    std::string text;
    for (size_t row = 0; row < 3; ++row) {
        for (size_t column = 0; column < 3; ++column) {
            text += " " + number(m(column, row));
        }
    }
    for (size_t column = 0; column < 3; ++column) {
        text += " " + number(m(3, column));
    }
    return text;
}

}  // namespace

std::string expectedAssembly(const ovSpatial& root) {
    const ovNode* rootNode = asNode(&root);
    if (rootNode == nullptr) {
        return "";
    }
    const std::map<const void*, const ovNode*> written = writtenNodes(*rootNode);
    struct Pending {
        const ovNode* node;
        int depth;
        int index;
    };
    std::string lines = root.GetName() + "\n";
    std::vector<Pending> pending{{rootNode, 0, -1}};
    while (!pending.empty()) {
        const Pending item = pending.back();
        pending.pop_back();
        const ovNode& product = *written.at(definitionKeyOf(*item.node));
        if (item.index >= 0) {
            const std::string& name = item.node->GetName();
            lines += std::string(2 * static_cast<size_t>(item.depth), ' ') +
                     (name.empty() ? "NAUO_" + std::to_string(item.index) : name) + " -> " +
                     product.GetName() + " @" + placementText(item.node->getLocalTransform()) + "\n";
        }
        for (int i = product.getNbChildren(); opensChildren(product) && i-- > 0;) {
            if (const ovNode* child = asNode(product.getChild(i))) {
                pending.push_back({child, item.depth + 1, i});
            }
        }
    }
    return lines;
}

void StepDriverTest::TearDown() {
    SetSoftwareVersionForStream(previousVersion);
#ifdef OV_OCCT_STEP_READER
    test::TempDir folder;
    for (const auto& [file, assembly] : written) {
        test::writeFile(folder.file("read.stp"), file);
        EXPECT_EQ(test::runCommand("\"" OV_OCCT_STEP_READER "\" --assembly " + folder.file("read.stp")),
                  assembly);
    }
#endif
}

}  // namespace ov::step
