// Saves, as COLLADA, a small scene built from the bytes: names of any bytes
// for the root, nodes, meshes, materials and textures; material and texture
// states shared between meshes; textures of any type, format code and
// channel, on images that may be empty or missing; an image file prefix of
// any bytes; vertex colours; polylines; the save's options; and a save that
// may be cancelled. Besides crashes and sanitizer reports it checks the
// driver's promises: a saved document is well-formed XML, the files a save
// leaves are the document and the images it reports, all in the document's
// folder, and a failed save leaves no file at all.
#include <expat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "collada/ovColladaMeshDriver.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovSpatial.h"

namespace {

using namespace ov;
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
    fs::path root =
        fs::temp_directory_path() / ("ov_collada_save_fuzz_" + std::to_string(std::random_device()()));
    fs::path out = root / "a" / "b" / "out";
    Sandbox() { fs::create_directories(out); }
    ~Sandbox() { fs::remove_all(root); }
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

ovImage* makeImage(Bytes& bytes) {
    const auto format = static_cast<ovImage::Format>(1 + bytes.next() % 4);
    ovImage* image = new ovImage(format, bytes.next() % 3, bytes.next() % 3);
    for (size_t i = 0; i < image->getDataSize(); ++i) {
        image->editData()[i] = bytes.next();
    }
    return image;
}

ovTexture* makeTexture(Bytes& bytes, const std::vector<ovPointer<ovImage>>& images) {
    ovTexture* texture = named(new ovTexture(pick(bytes, images)), bytes);
    // Mostly the types the writer knows; now and then any type field at all.
    const uint8_t type = bytes.next();
    const int low = bytes.next(), high = bytes.next();
    texture->setTypeField(type < 224 ? kTypes[type % std::size(kTypes)] : low | high << 8);
    texture->setFormatCode(bytes.next() % 8 == 0 ? bytes.next() : 0);
    texture->setChannel(bytes.next() % 4);
    return texture;
}

ovTriMesh* makeTriangle(Bytes& bytes) {
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

ovPointer<ovNode> makeScene(Bytes& bytes) {
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

bool isWellFormed(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string document(std::istreambuf_iterator<char>(in), {});
    XML_Parser parser = XML_ParserCreate(nullptr);
    const bool parsed =
        XML_Parse(parser, document.data(), static_cast<int>(document.size()), true) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed;
}

// Every file below the sandbox, which is then emptied for the next input.
std::set<fs::path> takeFiles(const Sandbox& sandbox) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Sandbox sandbox;
    Bytes bytes{data, size};
    const ovPointer<ovNode> scene = makeScene(bytes);
    ovColladaMeshDriver driver;
    driver.setImageFilePrefix(bytes.text());
    CancelAt progress(bytes.next() % 4 == 0 ? bytes.next() % 16 : 0);
    // The save's options: up axis, material channels, lines, colours, digits.
    const uint8_t options = bytes.next();
    driver.setSaveOptions({options & 1 ? ColladaSaveOptions::UpAxis::Y : ColladaSaveOptions::UpAxis::Z,
                           (options & 2) != 0, (options & 4) != 0, (options & 8) != 0, (options & 16) != 0,
                           options >> 5});
    const fs::path document = sandbox.out / "doc.dae";
    const bool saved = driver.saveMeshes({scene}, document.string(), &progress, {});
    std::set<fs::path> expected;
    if (saved) {
        expected.insert(document);
        for (const std::string& image : driver.writtenImageFiles()) {
            expected.insert(fs::path(image));
        }
    }
    // An image outside the document's folder, or a file that is not what the save reported.
    const bool imagesBeside = std::all_of(expected.begin(), expected.end(), [&](const fs::path& file) {
        return file.parent_path() == sandbox.out;
    });
    if ((saved && !isWellFormed(document)) || !imagesBeside || takeFiles(sandbox) != expected) {
        std::abort();
    }
    return 0;
}
