#include "obj/ObjImport.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <utility>

#include "core/InputFiles.h"
#include "core/TextEncoding.h"
#include "core/TextureImages.h"
#include "obj/MtlReader.h"
#include "obj/ObjReader.h"
#include "obj/TextLines.h"
#include "scenegraph/ovGeometry.h"
#include "system/ovFiles.h"

namespace ov::obj {

namespace {

namespace fs = std::filesystem;

constexpr size_t kReadChunk = size_t{1} << 22;

// The materials of an OBJ's libraries, made into scene-graph states once each.
class MaterialStates {
public:
    MaterialStates(fs::path folder, std::string source, const ImportSettings& options,
                   std::vector<std::string>& warnings)
        : mFolder(std::move(folder)),
          mSource(std::move(source)),
          mTextures(options.textures),
          mConfinement(mFolder, options.confine),
          mBudget(options.texturePixels),
          mWarnings(warnings) {}

    // A library statement names one file, or several separated by blanks.
    void loadLibraries(const std::vector<ObjNameAt>& statements) {
        for (const auto& [text, line] : statements) {
            if (const std::optional<fs::path> whole = locate(mFolder, text)) {
                loadLibrary(*whole);
                continue;
            }
            std::string_view rest = text;
            for (std::string_view word = takeWord(rest); !word.empty(); word = takeWord(rest)) {
                if (const std::optional<fs::path> file = locate(mFolder, std::string(word))) {
                    loadLibrary(*file);
                } else {
                    mAnyMissing = true;
                    mWarnings.push_back(mSource + ":" + std::to_string(line) + ": material library '" +
                                        std::string(word) + "' not found: meshes get no material");
                }
            }
        }
    }

    void warnUndefined(const std::vector<ObjNameAt>& used) {
        if (mAnyMissing) {
            return;
        }
        for (const auto& [name, line] : used) {
            if (!mMaterials.contains(name)) {
                mWarnings.push_back(mSource + ":" + std::to_string(line) + ": material '" + name +
                                    "' is not defined: its meshes get no material");
            }
        }
    }

    ovMaterialState* materialState(const std::string& name) { return statesOf(name).first.get(); }
    ovTextureState* textureState(const std::string& name) { return statesOf(name).second.get(); }

private:
    using States = std::pair<ovPointer<ovMaterialState>, ovPointer<ovTextureState>>;

    // A file the model names, where it may be read.
    std::optional<fs::path> locate(const fs::path& folder, const std::string& named) const {
        std::optional<fs::path> file = locateNamedFile(folder, named);
        if (file) {
            mConfinement.require(*file, named, mSource);
        }
        return file;
    }

    void loadLibrary(const fs::path& file) {
        const std::string path = utf8OfPath(file);
        const std::vector<MtlMaterial> materials =
            readMtl(decodedText(readWholeFile(path), path), path, mWarnings);
        for (const MtlMaterial& material : materials) {
            // The first definition of a name holds, as with any later library.
            mMaterials.try_emplace(material.name, Defined{material, file.parent_path(), path});
        }
    }

    const States& statesOf(const std::string& name) {
        const auto [entry, added] = mStates.try_emplace(name);
        const auto defined = mMaterials.find(name);
        if (added && defined != mMaterials.end()) {
            entry->second = makeStates(defined->second);
        }
        return entry->second;
    }

    struct Defined {
        MtlMaterial material;
        fs::path folder;
        std::string source;
    };

    States makeStates(const Defined& defined) {
        const MtlMaterial& material = defined.material;
        ovPointer<ovMaterialState> state(new ovMaterialState);
        state->SetName(material.name);
        state->ambient = material.ambient;
        state->diffuse = material.diffuse;
        state->diffuse[3] = material.alpha;
        state->specular = material.specular;
        state->emission = material.emission;
        state->alpha = material.alpha;
        state->shininess = material.shininess;
        ovPointer<ovTextureState> textures;
        if (!mTextures) {
            return {state, textures};
        }
        for (const MtlTextureMap& map : material.maps) {
            if (ovImage* image = imageOf(defined, map)) {
                textures = textures ? textures : ovPointer<ovTextureState>(new ovTextureState);
                ovPointer<ovTexture> texture(new ovTexture(image));
                texture->setTypeField(map.type);
                textures->addTexture(texture.get());
            }
        }
        return {state, textures};
    }

    ovImage* imageOf(const Defined& defined, const MtlTextureMap& map) {
        const std::string at = defined.source + ":" + std::to_string(map.line) + ": ";
        const std::optional<fs::path> file = locate(defined.folder, map.file);
        if (!file) {
            mWarnings.push_back(at + "texture image '" + map.file + "' not found: left out");
            return nullptr;
        }
        const auto [entry, added] = mImages.try_emplace(utf8OfPath(*file));
        if (added) {
            const LoadedImage loaded = loadTextureImage(entry->first, mBudget);
            entry->second = loaded.image;
            if (!loaded.image) {
                mWarnings.push_back(at + "texture image '" + map.file + "' cannot be read (" +
                                    loaded.failure + "): left out");
            }
        }
        return entry->second.get();
    }

    fs::path mFolder;
    std::string mSource;
    bool mTextures;
    Confinement mConfinement;
    PixelBudget mBudget;
    std::vector<std::string>& mWarnings;
    bool mAnyMissing = false;
    std::map<std::string, Defined> mMaterials;
    std::map<std::string, States> mStates;
    std::map<std::string, ovPointer<ovImage>> mImages;
};

ovPointer<ovIndexBuffer> indexBuffer(BlockArray<int>& indices) {
    ovPointer<ovIndexBuffer> buffer(new ovIndexBuffer(static_cast<int>(indices.size())));
    int* at = buffer->getData();
    indices.drain([&at](const int* block, size_t count) { at = std::copy_n(block, count, at); });
    return buffer;
}

// Calls visit(number, corner) for each vertex of a part, letting the
// vertices go as it passes them.
template <typename Visit>
void drainVertices(ObjPart& part, Visit visit) {
    int number = 0;
    part.vertices.drain([&number, &visit](const ObjCorner* corners, size_t count) {
        std::for_each_n(corners, count,
                        [&number, &visit](const ObjCorner& corner) { visit(number++, corner); });
    });
}

bool allCornersHaveColours(const ObjPart& part, const ObjModel& model) {
    if (model.colours.size() == 0) {
        return false;
    }
    bool all = true;
    part.vertices.forEachBlock([&all, &model](const ObjCorner* corners, size_t count) {
        all = all && std::all_of(corners, corners + count, [&model](const ObjCorner& corner) {
                  return model.colour(corner.position).has_value();
              });
    });
    return all;
}

bool allCornersHave(const ObjPart& part, int ObjCorner::*index) {
    bool all = true;
    part.vertices.forEachBlock([&all, index](const ObjCorner* corners, size_t count) {
        all = all && std::all_of(corners, corners + count,
                                 [index](const ObjCorner& corner) { return corner.*index != -1; });
    });
    return all;
}

// The scene of a model; each part's data is let go as soon as its buffers are
// made, so that the model and the scene are not both whole in memory.
class SceneBuilder {
public:
    SceneBuilder(ObjModel& model, MaterialStates& materials) : mModel(model), mMaterials(materials) {}

    ovPointer<ovNode> build(const std::string& rootName) {
        ovPointer<ovNode> root(new ovNode);
        root->SetName(rootName);
        for (ObjGroup& group : mModel.groups) {
            ovPointer<ovNode> node(new ovNode);
            node->SetName(group.name);
            for (ObjPart& part : group.meshes) {
                node->attachChild(buildMesh(part, group.name).get());
            }
            for (ObjPart& part : group.lines) {
                node->attachChild(buildLines(part, group.name).get());
            }
            root->attachChild(node.get());
            // What is left of the group, its name and emptied parts, goes too.
            group = ObjGroup{};
        }
        return root;
    }

private:
    ovPointer<ovTriMesh> buildMesh(ObjPart& part, const std::string& name) {
        ovAttributes layout;
        layout.SetNormal(allCornersHave(part, &ObjCorner::normal));
        layout.SetTCoordChannels(0, allCornersHave(part, &ObjCorner::texcoord) ? 2 : 0);
        layout.SetColor(allCornersHaveColours(part, mModel));
        ovPointer<ovVertexBuffer> vertices(
            new ovVertexBuffer(layout, static_cast<int>(part.vertices.size())));
        drainVertices(part, [&](int vertex, const ObjCorner& corner) {
            vertices->Position3(vertex) = mModel.position(corner.position);
            if (layout.HasNormal()) {
                vertices->Normal3(vertex) = mModel.normal(corner.normal);
            }
            if (layout.HasTCoord(0)) {
                const ObjTexcoord uv = mModel.texcoord(corner.texcoord);
                std::copy(uv.begin(), uv.end(), vertices->TCoord(0, vertex));
            }
            if (layout.HasColor()) {
                const ObjVector colour = *mModel.colour(corner.position);
                vertices->Color4(vertex) = {colour[0], colour[1], colour[2], 1.0f};
            }
        });
        ovPointer<ovTriMesh> mesh(new ovTriMesh(vertices.get(), indexBuffer(part.indices).get()));
        mesh->SetName(name);
        mesh->setMaterialState(mMaterials.materialState(part.material));
        mesh->setTextureState(mMaterials.textureState(part.material));
        return mesh;
    }

    ovPointer<ovLine> buildLines(ObjPart& part, const std::string& name) {
        ovPointer<ovVertexBuffer> vertices(
            new ovVertexBuffer(ovAttributes(), static_cast<int>(part.vertices.size())));
        drainVertices(part, [&](int vertex, const ObjCorner& corner) {
            vertices->Position3(vertex) = mModel.position(corner.position);
        });
        ovPointer<ovLine> line(new ovLine(vertices.get(), indexBuffer(part.indices).get()));
        line->SetName(name);
        if (ovMaterialState* state = mMaterials.materialState(part.material)) {
            line->setMaterialState(state);
            line->setColor(state->diffuse);
        }
        return line;
    }

    ObjModel& mModel;
    MaterialStates& mMaterials;
};

ObjImport buildImport(ObjModel model, const std::string& source, const fs::path& materialFolder,
                      const ImportSettings& options) {
    ObjImport result;
    result.warnings = std::move(model.warnings);
    MaterialStates materials(materialFolder, source, options, result.warnings);
    materials.loadLibraries(model.materialLibraries);
    materials.warnUndefined(model.materialsUsed);
    result.root = SceneBuilder(model, materials).build(utf8OfPath(pathOfUtf8(source).stem()));
    return result;
}

// Where a text's pieces come from: fills the buffer, answering the bytes it
// read (0 at the end) or -1 when the read failed.
using PieceSource = std::function<int64_t(char* buffer, int64_t size)>;

// Reads a text in pieces, reporting the bytes read out of size (0: unknown).
class ChunkedText {
public:
    ChunkedText(PieceSource source, std::string name, uintmax_t size, ovProgressNotifierInterface* progress)
        : mPath(std::move(name)), mSource(std::move(source)), mProgress(progress) {
        if (mProgress != nullptr) {
            mProgress->beginStepGroup(1, static_cast<double>(size), mCloser);
            mProgress->beginStep(static_cast<double>(size), 0);
        }
    }

    // The next piece; empty at the end. ReadError once the notifier says the
    // read is cancelled.
    std::string_view next() {
        if (mProgress != nullptr && mProgress->isCanceled()) {
            throw ReadError("cannot read '" + mPath + "': cancelled");
        }
        mBuffer.resize(kReadChunk);
        const int64_t read = mSource(mBuffer.data(), static_cast<int64_t>(mBuffer.size()));
        if (read < 0) {
            throw ReadError("cannot read '" + mPath + "': the read failed");
        }
        mBuffer.resize(static_cast<size_t>(read));
        if (mProgress != nullptr) {
            mProgress->advanceStep(static_cast<double>(mBuffer.size()));
        }
        return mBuffer;
    }

private:
    std::string mPath;
    PieceSource mSource;
    ovProgressNotifierInterface* mProgress;
    ovProgressNotifierGroupCloser mCloser;
    std::string mBuffer;
};

// Reads OBJ bytes that begin with start and go on with the pieces next()
// gives until it gives none.
template <typename Next>
ObjModel readObj(std::string_view start, const std::string& source, Next next) {
    const DetectedEncoding detected = detectEncoding(start);
    ObjReader reader(source);
    start.remove_prefix(detected.markSize);
    if (detected.encoding == TextEncoding::Utf8) {
        for (std::string_view piece = start; !piece.empty(); piece = next()) {
            reader.read(piece);
        }
        return reader.finish();
    }
    // UTF-16 files are rare and small: decoded whole.
    std::string bytes(start);
    for (std::string_view piece = next(); !piece.empty(); piece = next()) {
        bytes += piece;
    }
    reader.read(utf16ToUtf8(bytes, detected.encoding, source));
    return reader.finish();
}

}  // namespace

namespace {

ObjImport importChunks(ChunkedText& text, const std::string& source, const fs::path& materialFolder,
                       const ImportSettings& options) {
    const std::string start(text.next());
    ObjModel model = readObj(start, source, [&text] { return text.next(); });
    return buildImport(std::move(model), source, materialFolder, options);
}

}  // namespace

ObjImport importObj(const std::string& path, ovProgressNotifierInterface* progress,
                    const ImportSettings& options) {
    std::ifstream file = openForReading(path);
    std::error_code error;
    const uintmax_t size = fs::file_size(pathOfUtf8(path), error);
    const auto readFile = [&file](char* buffer, int64_t length) -> int64_t {
        file.read(buffer, static_cast<std::streamsize>(length));
        return file.bad() ? -1 : static_cast<int64_t>(file.gcount());
    };
    ChunkedText text(readFile, path, error ? 0 : size, progress);
    return importChunks(text, path, pathOfUtf8(path).parent_path(), options);
}

ObjImport importObjDevice(ovIoDevice& device, const std::string& source, const fs::path& materialFolder,
                          ovProgressNotifierInterface* progress, const ImportSettings& options) {
    const auto readDevice = [&device](char* buffer, int64_t length) { return device.read(buffer, length); };
    ChunkedText text(readDevice, source, 0, progress);
    return importChunks(text, source, materialFolder, options);
}

ObjImport importObjText(std::string_view bytes, const std::string& source, const fs::path& materialFolder,
                        const ImportSettings& options) {
    return buildImport(readObj(bytes, source, [] { return std::string_view(); }), source, materialFolder,
                       options);
}

}  // namespace ov::obj
