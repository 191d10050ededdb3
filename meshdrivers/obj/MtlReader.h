#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scenegraph/ovGeometry.h"

namespace ov::obj {

// An image an MTL material maps onto a surface, as the file names it.
struct MtlTextureMap {
    ovTexture::TexType type;
    std::string file;
    size_t line;
};

// One "newmtl" block. Colours the block leaves out keep the scene graph's
// defaults.
struct MtlMaterial {
    std::string name;
    Wm4::ColorRGBA ambient = ovMaterialState().ambient;
    Wm4::ColorRGBA diffuse = ovMaterialState().diffuse;
    Wm4::ColorRGBA specular = ovMaterialState().specular;
    Wm4::ColorRGBA emission = ovMaterialState().emission;
    float alpha = 1.0f;
    float shininess = ovMaterialState().shininess;
    std::vector<MtlTextureMap> maps;
};

// Reads a material library: names are the rest of the "newmtl" line,
// trimmed; colours (Ka, Kd, Ks, Ke as RGB, or one grey value), Ns, d and Tr,
// and the maps map_Kd, map_Ke, map_Ks, map_bump or bump, and refl with the
// file after their options. A statement it cannot read is skipped with a
// warning "source:line: reason"; others are skipped quietly.
std::vector<MtlMaterial> readMtl(std::string_view text, const std::string& source,
                                 std::vector<std::string>& warnings);

}  // namespace ov::obj
