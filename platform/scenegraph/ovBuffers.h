#pragma once

#include <cstdint>
#include <vector>

#include "scenegraph/ovObject.h"
#include "wm4/Wm4Foundation.h"

namespace ov {

// Layout of one vertex: position (3 floats) first, then an optional normal
// (3 floats), then texture-coordinate channels of 1 to 4 floats each, then an
// optional colour (4 floats, RGBA). The colour comes last so that layouts
// without it keep their offsets.
class ovAttributes {
public:
    static constexpr int MaxTCoordUnits = 8;

    ovAttributes() = default;
    void SetNormal(bool hasNormal);
    // channels 0 removes the unit.
    void SetTCoordChannels(int unit, int channels);
    void SetColor(bool hasColor);

    int GetChannelQuantityByte() const;  // the vertex stride
    int GetPositionOffsetByte() const { return 0; }
    bool HasNormal() const { return mHasNormal; }
    int GetNormalOffsetByte() const { return mHasNormal ? 12 : -1; }
    // One more than the highest unit in use.
    int GetMaxTCoords() const;
    bool HasTCoord(int unit) const { return GetTCoordChannels(unit) > 0; }
    int GetTCoordChannels(int unit) const;
    int GetTCoordOffsetByte(int unit) const;
    bool HasColor() const { return mHasColor; }
    int GetColorOffsetByte() const { return mHasColor ? offsetOfUnit(MaxTCoordUnits) : -1; }

private:
    // Where the unit's coordinates start, were it in use; MaxTCoordUnits gives the stride.
    int offsetOfUnit(int unit) const;

    bool mHasNormal = false;
    bool mHasColor = false;
    int mTCoordChannels[MaxTCoordUnits] = {};
};

// Data of a buffer lives in a store (as on a graphics card or in a paged
// file); the CPU-side copy may be absent and is brought in and dropped by
// ovRendererInterface.
class ovBufferResource : public ovObject {
    OV_DECLARE_RTTI
public:
    bool hasCPUData() const { return mResident; }
    // Simulates a store that can no longer give the data back.
    void setReloadable(bool reloadable) { mReloadable = reloadable; }

protected:
    explicit ovBufferResource(size_t byteSize);
    char* bytes() { return mResident ? mBytes.data() : nullptr; }
    const char* bytes() const { return mResident ? mBytes.data() : nullptr; }

private:
    friend class ovRendererInterface;
    std::vector<char> mBytes;
    std::vector<char> mStore;
    bool mResident = true;
    bool mReloadable = true;
};

class ovVertexBuffer : public ovBufferResource {
    OV_DECLARE_RTTI
public:
    ovVertexBuffer(const ovAttributes& attributes, int vertexQuantity);
    const ovAttributes& GetAttributes() const { return mAttributes; }
    int GetVertexQuantity() const { return mVertexQuantity; }
    // Null when the CPU data is not present.
    char* getDataByte() { return bytes(); }
    const char* getDataByte() const { return bytes(); }
    Wm4::Vector3f& Position3(int index);
    Wm4::Vector3f Position3(int index) const;
    Wm4::Vector3f& Normal3(int index);
    float* TCoord(int unit, int index);
    Wm4::ColorRGBA& Color4(int index);

private:
    char* attributeAt(int index, int offsetByte);

    ovAttributes mAttributes;
    int mVertexQuantity;
};

class ovIndexBuffer : public ovBufferResource {
    OV_DECLARE_RTTI
public:
    explicit ovIndexBuffer(int indexQuantity);
    int GetIndexQuantity() const { return mIndexQuantity; }
    // Null when the CPU data is not present.
    int* getData() { return reinterpret_cast<int*>(bytes()); }
    const int* getData() const { return reinterpret_cast<const int*>(bytes()); }

private:
    int mIndexQuantity;
};

// Moves buffer data between the store and memory, and counts the moves so that
// callers can check that they leave residency as they found it.
class ovRendererInterface {
public:
    // Makes the CPU data present; answers whether it is.
    static bool LoadCPUData(ovBufferResource* buffer);
    // Drops the CPU data (keeping it in the store). The flag asks the store to
    // forget the data as well, which the drivers never do.
    static void DeleteCPUData(ovBufferResource* buffer, bool alsoFromStore);
    static uint64_t loadCount();
    static uint64_t deleteCount();
};

// Makes a buffer's CPU data present for its own lifetime, dropping it again
// only if it loaded it.
class ovDataLoader {
public:
    explicit ovDataLoader(ovBufferResource* buffer);
    ~ovDataLoader();
    ovDataLoader(const ovDataLoader&) = delete;
    ovDataLoader& operator=(const ovDataLoader&) = delete;

private:
    ovBufferResource* mBuffer;
    bool mLoaded = false;
};

}  // namespace ov
