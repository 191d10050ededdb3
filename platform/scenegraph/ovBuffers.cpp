#include "scenegraph/ovBuffers.h"

#include <algorithm>
#include <atomic>
#include <cassert>

namespace ov {

OV_IMPLEMENT_RTTI(ovBufferResource, ovObject);
OV_IMPLEMENT_RTTI(ovVertexBuffer, ovBufferResource);
OV_IMPLEMENT_RTTI(ovIndexBuffer, ovBufferResource);

namespace {

constexpr int kPositionBytes = 12;
constexpr int kNormalBytes = 12;
constexpr int kColorBytes = 16;
constexpr int kMaxChannels = 4;

std::atomic<uint64_t> gLoadCount{0};
std::atomic<uint64_t> gDeleteCount{0};

bool isValidUnit(int unit) {
    return unit >= 0 && unit < ovAttributes::MaxTCoordUnits;
}

size_t nonNegative(int quantity) {
    return static_cast<size_t>(std::max(quantity, 0));
}

}  // namespace

// ---------------------------------------------------------------- ovAttributes

void ovAttributes::SetNormal(bool hasNormal) {
    mHasNormal = hasNormal;
}

// A unit outside the table is ignored and a channel count outside 0..4 is
// clamped, so that the stride always matches what the accessors read.
void ovAttributes::SetTCoordChannels(int unit, int channels) {
    if (isValidUnit(unit)) {
        mTCoordChannels[unit] = std::clamp(channels, 0, kMaxChannels);
    }
}

void ovAttributes::SetColor(bool hasColor) {
    mHasColor = hasColor;
}

int ovAttributes::GetChannelQuantityByte() const {
    return offsetOfUnit(MaxTCoordUnits) + (mHasColor ? kColorBytes : 0);
}

int ovAttributes::GetMaxTCoords() const {
    for (int unit = MaxTCoordUnits; unit > 0; --unit) {
        if (mTCoordChannels[unit - 1] > 0) {
            return unit;
        }
    }
    return 0;
}

int ovAttributes::GetTCoordChannels(int unit) const {
    return isValidUnit(unit) ? mTCoordChannels[unit] : 0;
}

int ovAttributes::GetTCoordOffsetByte(int unit) const {
    return HasTCoord(unit) ? offsetOfUnit(unit) : -1;
}

int ovAttributes::offsetOfUnit(int unit) const {
    int offset = kPositionBytes + (mHasNormal ? kNormalBytes : 0);
    for (int lower = 0; lower < unit; ++lower) {
        offset += 4 * mTCoordChannels[lower];
    }
    return offset;
}

// ------------------------------------------------------------ ovBufferResource

ovBufferResource::ovBufferResource(size_t byteSize) : mBytes(byteSize, 0) {}

bool ovRendererInterface::LoadCPUData(ovBufferResource* buffer) {
    if (buffer == nullptr) {
        return false;
    }
    if (buffer->mResident) {
        return true;
    }
    if (!buffer->mReloadable) {
        return false;
    }
    buffer->mBytes.swap(buffer->mStore);
    buffer->mResident = true;
    ++gLoadCount;
    return true;
}

void ovRendererInterface::DeleteCPUData(ovBufferResource* buffer, bool alsoFromStore) {
    if (buffer == nullptr) {
        return;
    }
    if (buffer->mResident) {
        buffer->mStore.swap(buffer->mBytes);
        buffer->mResident = false;
        ++gDeleteCount;
    }
    if (alsoFromStore) {
        buffer->mStore = {};
        buffer->mReloadable = false;
    }
}

uint64_t ovRendererInterface::loadCount() {
    return gLoadCount;
}

uint64_t ovRendererInterface::deleteCount() {
    return gDeleteCount;
}

ovDataLoader::ovDataLoader(ovBufferResource* buffer) : mBuffer(buffer) {
    if (mBuffer && !mBuffer->hasCPUData()) {
        mLoaded = ovRendererInterface::LoadCPUData(mBuffer);
    }
}

ovDataLoader::~ovDataLoader() {
    if (mLoaded) {
        ovRendererInterface::DeleteCPUData(mBuffer, false);
    }
}

// -------------------------------------------------------------- ovVertexBuffer

ovVertexBuffer::ovVertexBuffer(const ovAttributes& attributes, int vertexQuantity)
    : ovBufferResource(nonNegative(attributes.GetChannelQuantityByte()) * nonNegative(vertexQuantity)),
      mAttributes(attributes),
      mVertexQuantity(std::max(vertexQuantity, 0)) {}

Wm4::Vector3f& ovVertexBuffer::Position3(int index) {
    return *reinterpret_cast<Wm4::Vector3f*>(attributeAt(index, mAttributes.GetPositionOffsetByte()));
}

Wm4::Vector3f ovVertexBuffer::Position3(int index) const {
    return const_cast<ovVertexBuffer*>(this)->Position3(index);
}

Wm4::Vector3f& ovVertexBuffer::Normal3(int index) {
    assert(mAttributes.HasNormal());
    return *reinterpret_cast<Wm4::Vector3f*>(attributeAt(index, mAttributes.GetNormalOffsetByte()));
}

float* ovVertexBuffer::TCoord(int unit, int index) {
    assert(mAttributes.HasTCoord(unit));
    return reinterpret_cast<float*>(attributeAt(index, mAttributes.GetTCoordOffsetByte(unit)));
}

Wm4::ColorRGBA& ovVertexBuffer::Color4(int index) {
    assert(mAttributes.HasColor());
    return *reinterpret_cast<Wm4::ColorRGBA*>(attributeAt(index, mAttributes.GetColorOffsetByte()));
}

char* ovVertexBuffer::attributeAt(int index, int offsetByte) {
    // Reading a buffer whose data lives only in the store is a caller's bug:
    // the data must be loaded first (ovDataLoader).
    assert(hasCPUData());
    assert(index >= 0 && index < mVertexQuantity);
    return bytes() + static_cast<size_t>(index) * nonNegative(mAttributes.GetChannelQuantityByte()) +
           nonNegative(offsetByte);
}

// --------------------------------------------------------------- ovIndexBuffer

ovIndexBuffer::ovIndexBuffer(int indexQuantity)
    : ovBufferResource(sizeof(int) * nonNegative(indexQuantity)),
      mIndexQuantity(std::max(indexQuantity, 0)) {}

}  // namespace ov
