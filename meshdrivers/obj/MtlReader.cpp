#include "obj/MtlReader.h"

#include <map>
#include <optional>

#include "obj/TextLines.h"
#include "system/ovStringUtils.h"

namespace ov::obj {

namespace {

const std::map<std::string_view, ovTexture::TexType, std::less<>> kMapTypes{
    {"map_Kd", ovTexture::Diffuse}, {"map_Ke", ovTexture::Emission}, {"map_Ks", ovTexture::Specular},
    {"map_bump", ovTexture::Bump},  {"bump", ovTexture::Bump},       {"refl", ovTexture::Reflective}};

// Map options and how many values follow each; -o, -s and -t take one to three.
const std::map<std::string_view, int, std::less<>> kMapOptionValues{
    {"-blendu", 1}, {"-blendv", 1}, {"-bm", 1}, {"-boost", 1}, {"-cc", 1},     {"-clamp", 1}, {"-imfchan", 1},
    {"-mm", 2},     {"-o", 3},      {"-s", 3},  {"-t", 3},     {"-texres", 1}, {"-type", 1}};

class MtlLines {
public:
    MtlLines(const std::string& source, std::vector<std::string>& warnings)
        : mSource(source), mWarnings(warnings) {}

    std::vector<MtlMaterial> read(std::string_view text) {
        forEachLine(text, [this](std::string_view line, size_t number) {
            mLine = number;
            readStatement(line);
        });
        return std::move(mMaterials);
    }

private:
    void warn(const std::string& reason) { note(reason + ": skipped"); }

    void note(const std::string& text) {
        mWarnings.push_back(mSource + ":" + std::to_string(mLine) + ": " + text);
    }

    void readStatement(std::string_view line) {
        std::string_view rest = line;
        const std::string_view keyword = takeWord(rest);
        if (keyword.empty() || keyword.front() == '#') {
            return;
        }
        if (keyword == "newmtl") {
            std::string readAs;
            const std::string name = utf8Name(ovStringUtils::trimmed(rest, kBlanks), readAs);
            const std::string fault = name.empty() ? std::string("a material needs a name") : nameFault(name);
            mMaterials.emplace_back().name = fault.empty() ? name : std::string();
            if (!fault.empty()) {
                warn(fault);
            } else if (!readAs.empty()) {
                note(readAs);
            }
            return;
        }
        if (mMaterials.empty()) {
            warn(quoted(keyword) + " comes before any newmtl");
            return;
        }
        readProperty(keyword, rest, mMaterials.back());
    }

    void readProperty(std::string_view keyword, std::string_view rest, MtlMaterial& material) {
        Wm4::ColorRGBA* colours[] = {&material.ambient, &material.diffuse, &material.specular,
                                     &material.emission};
        const std::string_view colourKeywords[] = {"Ka", "Kd", "Ks", "Ke"};
        for (size_t i = 0; i < std::size(colourKeywords); ++i) {
            if (keyword == colourKeywords[i]) {
                readColour(keyword, rest, *colours[i]);
                return;
            }
        }
        if (keyword == "Ns" || keyword == "d" || keyword == "Tr") {
            const std::optional<float> value = singleNumber(keyword, rest);
            if (value && keyword == "Ns") {
                material.shininess = *value;
            } else if (value) {
                material.alpha = keyword == "d" ? *value : 1.0f - *value;
            }
        } else if (const auto type = kMapTypes.find(keyword); type != kMapTypes.end()) {
            readMap(keyword, rest, type->second, material);
        }
    }

    std::optional<float> singleNumber(std::string_view keyword, std::string_view rest) {
        rest = withoutComment(rest);
        const std::string_view word = takeWord(rest);
        const std::optional<float> value = parseFloat(word);
        if (!value) {
            warn(quoted(keyword) + " needs a number, not " + quoted(word));
        }
        return value;
    }

    void readColour(std::string_view keyword, std::string_view rest, Wm4::ColorRGBA& colour) {
        rest = withoutComment(rest);
        float values[3] = {};
        size_t count = 0;
        for (std::string_view word = takeWord(rest); !word.empty(); word = takeWord(rest), ++count) {
            const std::optional<float> value = parseFloat(word);
            if (!value || count == 3) {
                warn(quoted(keyword) + " needs one grey value or three RGB numbers, not " + quoted(word));
                return;
            }
            values[count] = *value;
        }
        if (count != 1 && count != 3) {
            warn(quoted(keyword) + " needs one grey value or three RGB numbers");
            return;
        }
        colour = {values[0], count == 1 ? values[0] : values[1], count == 1 ? values[0] : values[2], 1.0f};
    }

    void readMap(std::string_view keyword, std::string_view rest, ovTexture::TexType type,
                 MtlMaterial& material) {
        std::string_view file = ovStringUtils::trimmed(rest, kBlanks);
        while (file.starts_with('-')) {
            std::string_view after = file;
            const std::string_view option = takeWord(after);
            const auto values = kMapOptionValues.find(option);
            if (values == kMapOptionValues.end()) {
                warn(quoted(keyword) + " has an unknown option " + quoted(option));
                return;
            }
            if (option == "-s" || option == "-o") {
                note(quoted(keyword) + " " + std::string(option) +
                     " (texture scale or offset) is not carried: the image is mapped as it stands");
            }
            // Up to the option's count of values; numeric ones end early.
            for (int i = 0; i < values->second; ++i) {
                std::string_view next = after;
                const std::string_view value = takeWord(next);
                if (value.empty() || (i > 0 && !parseFloat(value))) {
                    break;
                }
                after = next;
            }
            file = ovStringUtils::trimmed(after, kBlanks);
        }
        if (file.empty()) {
            warn(quoted(keyword) + " names no image file");
            return;
        }
        material.maps.push_back({type, std::string(file), mLine});
    }

    const std::string& mSource;
    std::vector<std::string>& mWarnings;
    size_t mLine = 0;
    std::vector<MtlMaterial> mMaterials;
};

}  // namespace

std::vector<MtlMaterial> readMtl(std::string_view text, const std::string& source,
                                 std::vector<std::string>& warnings) {
    return MtlLines(source, warnings).read(text);
}

}  // namespace ov::obj
