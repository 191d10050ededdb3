// What the save fuzz targets share: a small scene built from the fuzzer's
// bytes (names of any bytes for the root, nodes, meshes, materials and
// textures; material and texture states shared between meshes; textures of
// any type, format code and channel, on images that may be empty or
// missing; vertex colours; polylines), a progress notifier that cancels, and
// a sandbox folder whose files are checked against what a save reports.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovSpatial.h"
#include "system/ovFiles.h"

namespace ov::fuzz {

namespace fs = std::filesystem;

// Hands out the fuzzer's bytes; zeros once they are used up.
struct Bytes {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t next() { return at < size ? data[at++] : 0; }
    // An index below count, or count itself now and then (none of them).
    size_t pick(size_t count) { return next() % (count + 1); }
    // Up to 15 bytes, of any value.
    std::string text() {
        std::string text(next() % 16, '\0');
        for (char& c : text) {
            c = static_cast<char>(next());
        }
        return text;
    }
};

// Answers true from the given question on; never when it is 0.
struct CancelAt : ovProgressNotifierInterface {
    explicit CancelAt(int from) : question(from) {}
    bool isCanceled() override { return question > 0 && ++asked >= question; }
    void beginStep(double, uint32_t) override {}
    void advanceStep(double) override {}
    void onStepGroupBegin(uint32_t, double) override {}
    void onStepGroupEnd() override {}
    int question, asked = 0;
};

// Every save goes into out, three levels below a folder of this process
// alone, so that a file escaping by "../" shows in the walk of the sandbox.
struct Sandbox {
    explicit Sandbox(const std::string& name)
        : root(fs::temp_directory_path() /
               ("ov_" + name + "_fuzz_" + std::to_string(std::random_device()()))),
          out(root / "a" / "b" / "out") {
        fs::create_directories(out);
    }
    ~Sandbox() { fs::remove_all(root); }
    fs::path root;
    fs::path out;
};

constexpr int kTypes[] = {ovTexture::Diffuse, ovTexture::Emission, ovTexture::Specular,
                          ovTexture::Bump,    ovTexture::Ambient,  ovTexture::Reflective,
                          ovTexture::Opacity, ovTexture::Normal,   ovTexture::Other};

template <typename Object>
Object* named(Object* object, Bytes& bytes) {
    object->SetName(bytes.text());
    return object;
}

template <typename Item>
Item* pick(Bytes& bytes, const std::vector<ovPointer<Item>>& items) {
    const size_t index = bytes.pick(items.size());
    return index < items.size() ? items[index].get() : nullptr;
}

inline ovImage* makeImage(Bytes& bytes) {
    const auto format = static_cast<ovImage::Format>(1 + bytes.next() % 4);
    ovImage* image = new ovImage(format, bytes.next() % 3, bytes.next() % 3);
    for (size_t i = 0; i < image->getDataSize(); ++i) {
        image->editData()[i] = bytes.next();
    }
    return image;
}

inline ovTexture* makeTexture(Bytes& bytes, const std::vector<ovPointer<ovImage>>& images) {
    ovTexture* texture = named(new ovTexture(pick(bytes, images)), bytes);
    // Mostly the types the writer knows; now and then any type field at all.
    const uint8_t type = bytes.next();
    const int low = bytes.next(), high = bytes.next();
    texture->setTypeField(type < 224 ? kTypes[type % std::size(kTypes)] : low | high << 8);
    texture->setFormatCode(bytes.next() % 8 == 0 ? bytes.next() : 0);
    texture->setChannel(bytes.next() % 4);
    return texture;
}

inline ovTriMesh* makeTriangle(Bytes& bytes) {
    ovAttributes attributes;
    attributes.SetColor(bytes.next() % 2 == 1);
    const ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(attributes, 3));
    const ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(3));
    for (int i = 0; i < 3; ++i) {
        vertices->Position3(i) = {static_cast<float>(i), static_cast<float>(bytes.next()), 0};
        if (attributes.HasColor()) {
            vertices->Color4(i) = {bytes.next() / 255.0f, 0, 0, 1};
        }
        indices->getData()[i] = i;
    }
    return named(new ovTriMesh(vertices.get(), indices.get()), bytes);
}

inline ovPointer<ovNode> makeScene(Bytes& bytes) {
    std::vector<ovPointer<ovImage>> images;
    std::vector<ovPointer<ovMaterialState>> materials;
    std::vector<ovPointer<ovTextureState>> textureStates;
    for (int i = 0; i < 3; ++i) {
        images.emplace_back(makeImage(bytes));
    }
    for (int i = 0; i < 3; ++i) {
        materials.emplace_back(named(new ovMaterialState, bytes));
        materials.back()->alpha = materials.back()->specular[0] = bytes.next() % 2 == 0 ? 1.0f : 0.5f;
        textureStates.emplace_back(new ovTextureState);
        for (int t = bytes.next() % 4; t > 0; --t) {
            textureStates.back()->addTexture(makeTexture(bytes, images));
        }
    }
    const ovPointer<ovNode> root(named(new ovNode, bytes));
    std::vector<ovNode*> groups{root.get()};
    for (int m = 1 + bytes.next() % 5; m > 0; --m) {
        ovNode* parent = groups[bytes.next() % groups.size()];
        if (bytes.next() % 4 == 0) {
            groups.push_back(named(new ovNode, bytes));
            parent->attachChild(groups.back());
        }
        ovTriMesh* mesh = makeTriangle(bytes);
        mesh->setMaterialState(pick(bytes, materials));
        mesh->setTextureState(pick(bytes, textureStates));
        parent->attachChild(mesh);
        if (bytes.next() % 4 == 0) {
            // A polyline on the same buffers: three indices, one segment and one left over.
            parent->attachChild(new ovLine(mesh->getVertexBuffer(), mesh->getIndexBuffer()));
        }
    }
    return root;
}

// Every file below the sandbox, which is then emptied for the next input.
inline std::set<fs::path> takeFiles(const Sandbox& sandbox) {
    std::set<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(sandbox.root)) {
        if (!entry.is_directory()) {
            files.insert(entry.path());
        }
    }
    for (const fs::path& file : files) {
        fs::remove(file);
    }
    return files;
}

// Whether the sandbox holds what a save reported and nothing else: the
// document and the files beside it, all in the document's folder, or no
// file at all after a failed save. The sandbox is emptied for the next input.
inline bool holdsWhatWasReported(const Sandbox& sandbox, const fs::path& document, bool saved,
                                 const std::vector<std::string>& besides) {
    std::set<fs::path> expected;
    if (saved) {
        expected.insert(document);
        for (const std::string& file : besides) {
            expected.insert(pathOfUtf8(file));  // reported as UTF-8, whatever the platform's paths
        }
    }
    const bool allBeside = std::all_of(expected.begin(), expected.end(), [&](const fs::path& file) {
        return file.parent_path() == sandbox.out;
    });
    return takeFiles(sandbox) == expected && allBeside;
}

}  // namespace ov::fuzz
