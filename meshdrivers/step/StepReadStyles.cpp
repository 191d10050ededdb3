// The surface colour and transparency of styled items, as material states.
#include <algorithm>

#include "step/StepRead.h"

namespace ov::step {

namespace {

// Styles nest a few levels deep; a deeper chain can only be a cycle.
constexpr int kDeepestStyle = 8;

struct PredefinedColour {
    std::string_view name;
    std::array<float, 3> rgb;
};

constexpr PredefinedColour kPredefinedColours[] = {
    {"red", {1, 0, 0}},     {"green", {0, 1, 0}}, {"blue", {0, 0, 1}},  {"yellow", {1, 1, 0}},
    {"magenta", {1, 0, 1}}, {"cyan", {0, 1, 1}},  {"black", {0, 0, 0}}, {"white", {1, 1, 1}},
};

float unitComponent(double value) {
    return static_cast<float>(std::clamp(value, 0.0, 1.0));
}

}  // namespace

void StyleReader::addStyledItem(uint32_t styled) {
    mStyleOfItem.try_emplace(mFile.target(styled, mFile.params(styled).at(2)), styled);
}

ovMaterialState* StyleReader::materialOf(uint32_t item) {
    const auto styled = mStyleOfItem.find(item);
    if (styled == mStyleOfItem.end()) {
        return nullptr;
    }
    Surface surface;
    const StepParams params = mFile.params(styled->second);
    for (const Part21Item& style : params.list(1)) {
        readStyle(mFile.target(styled->second, style), 0, surface);
    }
    if (!surface.coloured) {
        return nullptr;
    }
    const float alpha = 1.0f - surface.transparency;
    auto [entry, added] = mMaterials.try_emplace(
        std::array<float, 4>{surface.colour[0], surface.colour[1], surface.colour[2], alpha});
    if (added) {
        entry->second = new ovMaterialState;
        entry->second->diffuse = {surface.colour[0], surface.colour[1], surface.colour[2], alpha};
        entry->second->alpha = alpha;
    }
    return entry->second.get();
}

// Follows the style records down to their fill colour and transparency.
void StyleReader::readStyle(uint32_t style, int depth, Surface& surface) const {
    if (depth > kDeepestStyle) {
        mFile.fail(style, "is part of a chain of styles that refers to itself");
    }
    const std::string_view kind = mFile.nameOf(style);
    const StepParams params = mFile.params(style);
    const auto follow = [&](size_t position) {
        readStyle(mFile.target(style, params.at(position)), depth + 1, surface);
    };
    const auto followAll = [&](size_t position) {
        for (const Part21Item& inner : params.list(position)) {
            readStyle(mFile.target(style, inner), depth + 1, surface);
        }
    };
    if (kind == "PRESENTATION_STYLE_ASSIGNMENT" || kind == "PRESENTATION_STYLE_BY_CONTEXT") {
        followAll(0);
    } else if (kind == "SURFACE_STYLE_USAGE") {
        follow(1);
    } else if (kind == "SURFACE_SIDE_STYLE" || kind == "FILL_AREA_STYLE") {
        followAll(1);
    } else if (kind == "SURFACE_STYLE_FILL_AREA") {
        follow(0);
    } else if (kind == "SURFACE_STYLE_RENDERING_WITH_PROPERTIES") {
        followAll(2);
    } else if (kind == "SURFACE_STYLE_TRANSPARENT") {
        surface.transparency = unitComponent(mFile.real(style, params.at(0)));
    } else if (kind == "FILL_AREA_STYLE_COLOUR" && !surface.coloured) {
        surface.colour = readColour(mFile.target(style, params.at(1)));
        surface.coloured = true;
    }
}

std::array<float, 3> StyleReader::readColour(uint32_t colour) const {
    const StepParams params = mFile.params(colour);
    if (mFile.nameOf(colour) == "COLOUR_RGB") {
        return {unitComponent(mFile.real(colour, params.at(1))),
                unitComponent(mFile.real(colour, params.at(2))),
                unitComponent(mFile.real(colour, params.at(3)))};
    }
    if (mFile.nameOf(colour) == "DRAUGHTING_PRE_DEFINED_COLOUR") {
        const std::string name = mFile.text(colour, params.at(0));
        for (const PredefinedColour& predefined : kPredefinedColours) {
            if (predefined.name == name) {
                return predefined.rgb;
            }
        }
    }
    return {0.8f, 0.8f, 0.8f};
}

}  // namespace ov::step
