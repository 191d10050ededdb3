#include "LineDrawingTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>

namespace ov::test {

ovPointer<ovVectorialMetadata> makeIdentityPage() {
    ovPointer<ovVectorialMetadata> page(new ovVectorialMetadata);
    for (int i = 0; i < 4; ++i) {
        page->projection[5 * i] = 1.0f;
    }
    page->pageMatrix[0] = 1.0f;
    page->pageMatrix[3] = 1.0f;
    return page;
}

ovPointer<ovLine> makeLine(const std::vector<Wm4::Vector3f>& points, const std::vector<int>& indices) {
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(ovAttributes(), static_cast<int>(points.size())));
    for (size_t i = 0; i < points.size(); ++i) {
        vertices->Position3(static_cast<int>(i)) = points[i];
    }
    ovPointer<ovIndexBuffer> indexBuffer(new ovIndexBuffer(static_cast<int>(indices.size())));
    std::copy(indices.begin(), indices.end(), indexBuffer->getData());
    return ovPointer<ovLine>(new ovLine(vertices.get(), indexBuffer.get()));
}

ovPointer<ovNode> makeRoot(ovVectorialMetadata* page, const std::vector<ovSpatial*>& children) {
    ovPointer<ovNode> root(new ovNode);
    root->setMetadata(page);
    for (ovSpatial* child : children) {
        EXPECT_GE(root->attachChild(child), 0);
    }
    return root;
}

ovPointer<ovNode> makeSampleDrawing() {
    ovPointer<ovVectorialMetadata> page(new ovVectorialMetadata);
    page->title = "Sample drawing";
    page->description = "Two lines and a mesh";
    // X = (2x + 10) / W, Y = (2y + 20) / W, W = z / 2 + 1
    const float projection[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0.5f, 10, 20, 0, 1};
    std::copy(std::begin(projection), std::end(projection), page->projection);
    const float pageMatrix[4] = {1, 0.25f, -0.5f, 1};
    std::copy(std::begin(pageMatrix), std::end(pageMatrix), page->pageMatrix);
    page->pageOffset[0] = 5;
    page->pageOffset[1] = 7;

    ovPointer<ovLine> strip = makeLine({{0, 0, 0}, {1, 0, 0}, {1, 1, 2}, {0, 1, 2}}, {0, 1, 1, 2, 2, 3});
    strip->setColor({1, 0, 0, 1});
    ovPointer<ovNode> moved(new ovNode);
    moved->editLocalTransform(true).SetTranslate({10, 0, 0});
    moved->attachChild(strip.get());

    ovPointer<ovLine> pair = makeLine({{0.1f, 0.2f, 0.3f}, {-5, 7.25f, 1e-3f}, {3, 3, 3}}, {0, 1, 2, 0});
    pair->setColor({0.2f, 0.5f, 1, 1});
    pair->setWidth(2.5f);

    ovPointer<ovVertexBuffer> meshVertices(new ovVertexBuffer(ovAttributes(), 3));
    ovPointer<ovIndexBuffer> meshIndices(new ovIndexBuffer(3));
    std::fill(meshIndices->getData(), meshIndices->getData() + 3, 0);
    ovPointer<ovTriMesh> mesh(new ovTriMesh(meshVertices.get(), meshIndices.get()));

    return makeRoot(page.get(), {moved.get(), pair.get(), mesh.get()});
}

void makeNonResident(const ovLine& line, bool reloadable) {
    for (ovBufferResource* buffer : {static_cast<ovBufferResource*>(line.getVertexBuffer()),
                                     static_cast<ovBufferResource*>(line.getIndexBuffer())}) {
        ovRendererInterface::DeleteCPUData(buffer, false);
        buffer->setReloadable(reloadable);
    }
}

bool RecordingProgress::isCanceled() {
    ++mQuestions;
    return mCancelFrom > 0 && mQuestions >= mCancelFrom;
}

void RecordingProgress::beginStep(double amount, uint32_t stepIndex) {
    std::ostringstream call;
    call << "step " << amount << ' ' << stepIndex;
    mCalls.push_back(call.str());
}

void RecordingProgress::advanceStep(double amount) {
    std::ostringstream call;
    call << "advance " << amount;
    mCalls.push_back(call.str());
}

void RecordingProgress::onStepGroupBegin(uint32_t stepCount, double totalAmount) {
    std::ostringstream call;
    call << "group " << stepCount << ' ' << totalAmount;
    mCalls.push_back(call.str());
}

void RecordingProgress::onStepGroupEnd() {
    mCalls.push_back("end");
}

SaveResult saveToMemory(ovCoreMeshDriver& driver, const ovObjectList& objects,
                        ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    ovIoDeviceMemory device;
    SaveResult result;
    result.saved = driver.saveMeshes(objects, device, "ignored.path", progress, options);
    result.text = device.data();
    return result;
}

FixedWriterIdentity::FixedWriterIdentity() : mPreviousVersion(GetSoftwareVersionForStream()) {
    SetSoftwareVersionForStream({"ovmesh-test", "1.0"});
}

FixedWriterIdentity::~FixedWriterIdentity() {
    SetSoftwareVersionForStream(mPreviousVersion);
}

GlobalLocale::GlobalLocale(const char* name) : mPreviousC(std::setlocale(LC_ALL, nullptr)) {
    try {
        mPrevious = std::locale::global(std::locale(name));
    } catch (const std::runtime_error&) {
        return;
    }
    std::setlocale(LC_ALL, name);
    mAvailable = true;
}

GlobalLocale::~GlobalLocale() {
    if (mAvailable) {
        std::locale::global(mPrevious);
        std::setlocale(LC_ALL, mPreviousC.c_str());
    }
}

CommandResult runCommand(const std::string& command) {
    CommandResult result;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        return result;
    }
    std::array<char, 4096> chunk;
    size_t read = 0;
    while ((read = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        result.output.append(chunk.data(), read);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace ov::test
