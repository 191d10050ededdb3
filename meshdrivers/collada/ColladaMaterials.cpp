// The material libraries: images (with their PNG files), effects and materials.

#include <algorithm>
#include <map>
#include <numeric>

#include "collada/ColladaDocumentWriter.h"
#include "collada/ColladaSupport.h"
#include "collada/XmlStreamWriter.h"
#include "collada/ovColladaMeshDriver.h"
#include "core/FloatText.h"
#include "core/ImageFiles.h"
#include "system/ovStringUtils.h"

namespace ov {
namespace {

// The texts a texture type gives, after the material id; null where the
// type has none.
struct TextureTexts {
    ovTexture::TexType type;
    const char* image;
    const char* surface;
    const char* sampler;
    const char* lambertChannel;
};

constexpr TextureTexts kTextureTexts[] = {
    {ovTexture::Diffuse, "-image-diffuse", "-diffuse-surface", "-diffuse-sampler", "diffuse"},
    {ovTexture::Emission, "-image-emissive", "-emissive-surface", "-emissive-sampler", "emission"},
    {ovTexture::Specular, "-image-specular", "-specular-surface", "-specular-sampler", nullptr},
    // Type 16 textures are written as bump maps: an image without a channel.
    {ovTexture::Ambient, "-image-bump", nullptr, nullptr, nullptr},
    {ovTexture::Reflective, "-image-reflection", "-reflection-surface", "-reflection-sampler", "reflective"},
};

const TextureTexts* textureTextsOf(ovTexture::TexType type) {
    for (const TextureTexts& texts : kTextureTexts) {
        if (texts.type == type) {
            return &texts;
        }
    }
    return nullptr;
}

// Where a texture-bound channel stands inside "lambert": emission, diffuse,
// specular, reflective, then the other known kinds; -1 for unknown ones.
int channelRank(ovTexture::TexType type) {
    switch (type) {
        case ovTexture::Emission:
            return 1;
        case ovTexture::Diffuse:
            return 2;
        case ovTexture::Specular:
            return 3;
        case ovTexture::Reflective:
            return 4;
        case ovTexture::Bump:
        case ovTexture::Ambient:
        case ovTexture::Opacity:
        case ovTexture::Normal:
        case ovTexture::Other:
            return 5;
    }
    return -1;
}

constexpr ovTexture::TexType kColourTypes[] = {ovTexture::Emission, ovTexture::Ambient, ovTexture::Diffuse,
                                               ovTexture::Reflective};

// The colour channels in the order the schema gives them inside "phong";
// "lambert" has the same without specular.
constexpr ovTexture::TexType kSchemaChannelOrder[] = {
    ovTexture::Emission, ovTexture::Ambient, ovTexture::Diffuse, ovTexture::Specular, ovTexture::Reflective};

const char* mapKindName(ovTexture::TexType type) {
    switch (type) {
        case ovTexture::Specular:
            return "specular";
        case ovTexture::Bump:
            return "bump";
        case ovTexture::Ambient:
            return "ambient";
        case ovTexture::Opacity:
            return "opacity";
        case ovTexture::Normal:
            return "normal";
        default:
            return "other";
    }
}

// An opaque white whose alpha ("A_ONE") leaves the opacity to "transparency":
// three.js, assimp and pycollada all read the opacity as that alpha times the
// transparency, and readers that look at "transparency" alone find it there.
constexpr char kTransparentWhite[] = "1 1 1 1";

// The second and later texture of one kind in one material give ids ending
// in "-2", "-3" and so on; the first keeps the plain id.
class KindOrdinals {
public:
    std::string next(ovTexture::TexType type) {
        const int ordinal = ++mCounts[type];
        std::string suffix;
        if (ordinal > 1) {
            suffix = '-' + std::to_string(ordinal);
        }
        return suffix;
    }

private:
    std::map<ovTexture::TexType, int> mCounts;
};

bool hasTextures(const ovTextureState* textures) {
    return textures && textures->getNbTexture() > 0;
}

std::string materialIdFor(const ovMaterialState& material, int counter) {
    if (material.GetName().empty()) {
        return "material-" + std::to_string(counter);
    }
    std::string id = material.GetName() + "-" + std::to_string(counter);
    ovColladaMeshDriver::buildCorrectId(id);
    return id;
}

// Without creating a state the mesh lacks: a save leaves the scene as it is.
ovMaterialObject materialKeyOf(ovBaseGeometry& mesh) {
    return {mesh.editMaterialState(false), mesh.editTextureState(false)};
}

// Fixed notation with five decimals, as a C++ stream writes it.
std::string colourText(float red, float green, float blue, float alpha) {
    std::string text;
    for (const float value : {red, green, blue, alpha}) {
        if (!text.empty()) {
            text += "   ";
        }
        text += ovStringUtils::fromFloat(value, 5, ovStringUtils::Fixed);
    }
    return text;
}

bool hasTextureOf(const ovTextureState* textures, ovTexture::TexType type) {
    for (int i = 0; hasTextures(textures) && i < textures->getNbTexture(); ++i) {
        if (textures->editTexture(i)->getTexType() == type) {
            return true;
        }
    }
    return false;
}

bool hasSpecular(const ovMaterialObject& key) {
    const Wm4::ColorRGBA& specular = key.getMaterialState()->specular;
    return specular.R() != 0.0f || specular.G() != 0.0f || specular.B() != 0.0f ||
           hasTextureOf(key.getTextureState(), ovTexture::Specular);
}

}  // namespace

std::string collada::DocumentWriter::materialIdOf(ovBaseGeometry& mesh) const {
    const auto found = materialIds.find(materialKeyOf(mesh));
    return found == materialIds.end() ? std::string() : found->second;
}

bool collada::DocumentWriter::writeMaterials(const MeshList& meshes, ovProgressNotifierInterface* progress) {
    int counter = 1;
    int texturedMaterials = 0;
    for (ovBaseGeometry* mesh : meshes) {
        const ovMaterialState* material = mesh->editMaterialState(false);
        if (!material) {
            continue;
        }
        const bool entered =
            materialIds.emplace(materialKeyOf(*mesh), materialIdFor(*material, counter)).second;
        if (entered && hasTextures(mesh->editTextureState(false))) {
            ++texturedMaterials;
        }
        ++counter;
    }
    if (materialIds.empty()) {
        return true;
    }
    if (texturedMaterials > 0) {
        mWriter.startElement("library_images");
        for (const auto& [key, materialId] : materialIds) {
            if (!hasTextures(key.getTextureState())) {
                continue;
            }
            if (!writeTexture(key.getTextureState(), materialId) || (progress && progress->isCanceled())) {
                return false;
            }
        }
        mWriter.endElement();
    }
    const float bulk = static_cast<float>(meshes.size()) - static_cast<float>(materialIds.size());
    if (advanceAndCheckCancel(progress, bulk)) {
        return false;
    }

    mWriter.startElement("library_effects");
    for (const auto& [key, materialId] : materialIds) {
        if (!writeEffect(key, materialId) || advanceAndCheckCancel(progress, 0.5)) {
            return false;
        }
    }
    mWriter.endElement();
    logUnusedMaps();

    mWriter.startElement("library_materials");
    for (const auto& [key, materialId] : materialIds) {
        openWithId("material", materialId + "ID");
        mWriter.addAttribute("name", materialId);
        mWriter.startElement("instance_effect");
        mWriter.addAttribute("url", collada::referenceTo(materialId, "-effect"));
        mWriter.endElement();
        mWriter.endElement();
        if (advanceAndCheckCancel(progress, 0.5)) {
            return false;
        }
    }
    mWriter.endElement();
    return mWriter.isOk();
}

bool collada::DocumentWriter::writeEffect(const ovMaterialObject& key, const std::string& materialId) {
    openWithId("effect", materialId + "-effect");
    mWriter.addAttribute("name", materialId);
    mWriter.startElement("profile_COMMON");
    ColourList colours(std::begin(kColourTypes), std::end(kColourTypes));
    // Declared in every effect whose channels use them, even when another
    // material's effect declares the same textures.
    SamplerIds samplers;
    if (!writeTextureParam(key.getTextureState(), materialId, colours, samplers)) {
        return false;
    }
    countUnusedMaps(key.getTextureState());
    mWriter.startElement("technique");
    mWriter.addAttribute("sid", "COMMON");
    const bool phong = mOptions.phong && hasSpecular(key);
    mWriter.startElement(phong ? "phong" : "lambert");
    if (mOptions.phong || mOptions.transparency) {
        if (!writeOrderedChannels(key, colours, samplers, phong)) {
            return false;
        }
    } else {
        if (!writeTextureChannel(key.getTextureState(), samplers)) {
            return false;
        }
        for (const ovTexture::TexType type : colours) {
            if (!writeMaterialColor(key.getMaterialState(), type)) {
                return false;
            }
        }
    }
    mWriter.endElement();
    mWriter.endElement();
    writeDoubleSided(*key.getMaterialState());
    mWriter.endElement();
    mWriter.endElement();
    return mWriter.isOk();
}

// The extension of two-sided lighting that assimp and other readers take.
void collada::DocumentWriter::writeDoubleSided(const ovMaterialState& material) {
    if (!material.pbr || !material.pbr->doubleSided) {
        return;
    }
    mWriter.startElement("extra");
    mWriter.startElement("technique");
    mWriter.addAttribute("profile", "GOOGLEEARTH");
    writeTextElement("double_sided", "1");
    mWriter.endElement();
    mWriter.endElement();
}

// Each channel once, in the schema's order: its maps, or else its colour.
bool collada::DocumentWriter::writeOrderedChannels(const ovMaterialObject& key, const ColourList& colours,
                                                   const SamplerIds& samplers, bool phong) {
    ovMaterialState* material = key.getMaterialState();
    for (const ovTexture::TexType type : kSchemaChannelOrder) {
        const bool specular = type == ovTexture::Specular;
        if (specular && !phong) {
            continue;
        }
        const bool mapped = writeMappedChannel(type, key.getTextureState(), samplers);
        const bool coloured = specular || std::find(colours.begin(), colours.end(), type) != colours.end();
        if (!mapped && coloured && !writeMaterialColor(material, type)) {
            return false;
        }
        if (specular) {
            writeFloatElement("shininess", material->shininess);
        }
    }
    const auto alphaMap = alphaMapOf(key, samplers);
    if (mOptions.transparency && (material->alpha < 1.0f || alphaMap != samplers.end())) {
        mWriter.startElement("transparent");
        mWriter.addAttribute("opaque", "A_ONE");
        if (alphaMap != samplers.end()) {
            writeTextureOf(*alphaMap->first, alphaMap->second);
        } else {
            writeTextElement("color", kTransparentWhite);
        }
        mWriter.endElement();
        writeFloatElement("transparency", material->alpha);
    }
    return mWriter.isOk();
}

bool collada::DocumentWriter::writeMappedChannel(ovTexture::TexType type, const ovTextureState* textures,
                                                 const SamplerIds& samplers) {
    for (int i = 0; hasTextures(textures) && i < textures->getNbTexture(); ++i) {
        const ovTexture* texture = textures->editTexture(i);
        const auto sampler = samplers.find(texture);
        if (texture->getTexType() == type && sampler != samplers.end()) {
            writeTextureElement(channelOf(type), *texture, sampler->second);
            return true;
        }
    }
    return false;
}

void collada::DocumentWriter::countUnusedMaps(const ovTextureState* textures) {
    for (int i = 0; hasTextures(textures) && i < textures->getNbTexture(); ++i) {
        const ovTexture* texture = textures->editTexture(i);
        if (texture->getImage() && !channelOf(texture->getTexType())) {
            ++mUnusedMaps[texture->getTexType()];
        }
    }
}

void collada::DocumentWriter::writeTextureElement(const char* channel, const ovTexture& texture,
                                                  const std::string& samplerId) {
    mWriter.startElement(channel);
    writeTextureOf(texture, samplerId);
    mWriter.endElement();
}

void collada::DocumentWriter::writeTextureOf(const ovTexture& texture, const std::string& samplerId) {
    mWriter.startElement("texture");
    mWriter.addAttribute("texture", samplerId);
    mWriter.addAttribute("texcoord", "CHANNEL" + std::to_string(texture.getChannel() - 1));
    mWriter.endElement();
}

// A physically based material that blends or masks by its base colour's
// alpha takes that alpha from the diffuse map too ("A_ONE"); end() when it
// has no such map, or is opaque.
collada::DocumentWriter::SamplerIds::const_iterator collada::DocumentWriter::alphaMapOf(
    const ovMaterialObject& key, const SamplerIds& samplers) {
    const ovMaterialState& material = *key.getMaterialState();
    if (!material.pbr || material.pbr->alphaMode == ovPbrMaterial::AlphaMode::Opaque) {
        return samplers.end();
    }
    const ovTextureState* textures = key.getTextureState();
    for (int i = 0; hasTextures(textures) && i < textures->getNbTexture(); ++i) {
        const ovTexture* texture = textures->editTexture(i);
        if (const auto sampler = samplers.find(texture);
            texture->getTexType() == ovTexture::Diffuse && sampler != samplers.end()) {
            return sampler;
        }
    }
    return samplers.end();
}

void collada::DocumentWriter::writeFloatElement(const char* element, float value) {
    std::string text;
    appendFloat(text, value);
    mWriter.startElement(element);
    writeTextElement("float", text);
    mWriter.endElement();
}

const char* collada::DocumentWriter::channelOf(ovTexture::TexType type) const {
    const TextureTexts* texts = textureTextsOf(type);
    if (texts && texts->lambertChannel) {
        return texts->lambertChannel;
    }
    return type == ovTexture::Specular && mOptions.phong ? "specular" : nullptr;
}

void collada::DocumentWriter::logUnusedMaps() const {
    for (const auto& [type, count] : mUnusedMaps) {
        logLine(ovLogWarning) << "ovColladaMeshDriver, " << count << " " << mapKindName(type)
                              << (count == 1 ? " map is" : " maps are")
                              << " left out of the effects: no channel takes them";
    }
}

bool collada::DocumentWriter::writeMaterialColor(ovMaterialState* material, ovTexture::TexType type) {
    const char* element = nullptr;
    Wm4::ColorRGBA colour(0.0f, 0.0f, 0.0f, 0.0f);
    switch (type) {
        case ovTexture::Diffuse:
            element = "diffuse";
            colour = material->diffuse;
            break;
        case ovTexture::Emission:
            element = "emission";
            colour = material->emission;
            break;
        case ovTexture::Ambient:
            element = "ambient";
            colour = material->ambient;
            break;
        case ovTexture::Reflective:
            element = "reflective";
            break;
        case ovTexture::Specular:
            element = "specular";
            colour = material->specular;
            break;
        default:
            return false;
    }
    mWriter.startElement(element);
    writeTextElement("color", colourText(colour.R(), colour.G(), colour.B(), material->alpha));
    mWriter.endElement();
    return mWriter.isOk();
}

bool collada::DocumentWriter::writeTexture(ovTextureState* textures, const std::string& materialId) {
    KindOrdinals ordinals;
    for (int i = 0; i < textures->getNbTexture(); ++i) {
        const ovTexture* texture = textures->editTexture(i);
        if (texture->getFormatCode() != 0) {
            logDiagnostic("ovColladaMeshDriver , ignoring texture ", texture->GetName(), "type ",
                          texture->getFormatCode(), ", unsupported format ");
            continue;
        }
        const TextureTexts* texts = textureTextsOf(texture->getTexType());
        if (!texts) {
            logDiagnostic("ovColladaMeshDriver , ignoring texture ", texture->GetName(), "texture type ",
                          static_cast<int>(texture->getTexType()), ", unsupported format ");
            continue;
        }
        const ovImage* image = texture->getImage();
        if (!image) {
            logDiagnostic("ovColladaMeshDriver , ignoring texture ", texture->GetName(), ", it has no image");
            continue;
        }
        if (objectIds.contains(image)) {
            continue;
        }
        const std::string imageId = materialId + texts->image + ordinals.next(texts->type);
        objectIds.emplace(image, imageId);
        openWithId("image", imageId);
        mWriter.startElement("init_from");
        const std::string fileName = mImages.nameFor(imageId);
        if (!mImages.write(*image, fileName)) {
            return false;
        }
        mWriter.addText(uriPathSegment(fileName));
        mWriter.endElement();
        mWriter.endElement();
    }
    return mWriter.isOk();
}

bool collada::DocumentWriter::writeTextureParam(ovTextureState* textures, const std::string& materialId,
                                                ColourList& colours, SamplerIds& samplers) {
    if (!hasTextures(textures)) {
        return true;
    }
    KindOrdinals ordinals;
    for (int i = 0; i < textures->getNbTexture(); ++i) {
        const ovTexture* texture = textures->editTexture(i);
        const TextureTexts* texts = textureTextsOf(texture->getTexType());
        if (texture->getFormatCode() != 0 || !texts || !texts->surface) {
            continue;
        }
        const auto colour = std::find(colours.begin(), colours.end(), texture->getTexType());
        if (colour != colours.end()) {
            colours.erase(colour);
        }
        if (samplers.contains(texture)) {
            continue;
        }
        // A texture whose image was never written gets no sampler, so that no
        // channel can refer to a sampler the effect does not declare.
        const auto image = objectIds.find(texture->getImage());
        if (image == objectIds.end()) {
            logDiagnostic("ovColladaMeshDriver::writeTextureParam, could not find the image again.");
            continue;
        }
        const std::string ordinal = ordinals.next(texts->type);
        const std::string samplerId = materialId + texts->sampler + ordinal;
        samplers.emplace(texture, samplerId);
        const std::string surfaceId = materialId + texts->surface + ordinal;
        mWriter.startElement("newparam");
        mWriter.addAttribute("sid", surfaceId);
        mWriter.startElement("surface");
        mWriter.addAttribute("type", "2D");
        writeTextElement("init_from", image->second);
        mWriter.endElement();
        mWriter.endElement();
        mWriter.startElement("newparam");
        mWriter.addAttribute("sid", samplerId);
        mWriter.startElement("sampler2D");
        writeTextElement("source", surfaceId);
        writeWrap("wrap_s", texture->getWrapU());
        writeWrap("wrap_t", texture->getWrapV());
        mWriter.endElement();
        mWriter.endElement();
    }
    return mWriter.isOk();
}

// COLLADA's default, WRAP, goes unsaid.
void collada::DocumentWriter::writeWrap(const char* element, ovTexture::Wrap wrap) {
    if (wrap != ovTexture::Wrap::Repeat) {
        writeTextElement(element, wrap == ovTexture::Wrap::Mirror ? "MIRROR" : "CLAMP");
    }
}

bool collada::DocumentWriter::writeTextureChannel(ovTextureState* textures, const SamplerIds& samplers) {
    if (!hasTextures(textures)) {
        return true;
    }
    std::vector<int> order(static_cast<size_t>(textures->getNbTexture()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [textures](int a, int b) {
        return channelRank(textures->editTexture(a)->getTexType()) <
               channelRank(textures->editTexture(b)->getTexType());
    });
    for (const int i : order) {
        const ovTexture* texture = textures->editTexture(i);
        const TextureTexts* texts = textureTextsOf(texture->getTexType());
        if (!texts || !texts->lambertChannel) {
            continue;
        }
        const auto sampler = samplers.find(texture);
        if (sampler == samplers.end()) {
            logDiagnostic("ovColladaMeshDriver::writeTextureChannel, could not find the texture again.");
            continue;
        }
        writeTextureElement(texts->lambertChannel, *texture, sampler->second);
    }
    return mWriter.isOk();
}

}  // namespace ov
