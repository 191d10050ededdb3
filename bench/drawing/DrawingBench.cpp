// Line-drawing export of a large scene (1,000,000 segments in 10,000 polylines
// by default): our DXF and SVG drivers writing to a buffered file device, next
// to the floor of formatting the same numbers with to_chars and writing the
// same text in large blocks, and next to ezdxf writing the same LINE entities
// (run on a tenth of the segments and scaled, since it is slow). Also the peak
// resident memory one save adds, for a tenth of the scene and for all of it:
// it must grow by no more than the two page points a segment that the writers
// gather (16 bytes).
//
// Usage: bench_drawing [segments]

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/LineDrawing.h"
#include "core/ovVectorialMetadata.h"
#include "dxf/DxfDriver.h"
#include "support/ResidentMemory.h"
#include "support/Timing.h"
#include "svg/Mesh2SvgDriver.h"
#include "system/ovSystemUtils.h"

#include <unistd.h>

namespace {

using namespace ov;

constexpr int kSegmentsPerPolyline = 100;
constexpr int kRepetitions = 3;

// A scene of polylines, each a strip of kSegmentsPerPolyline segments, under a
// page with a perspective projection; and the page points of every vertex, in
// order, for the floor.
struct Drawing {
    ovPointer<ovNode> root;
    ovPointer<ovVectorialMetadata> page;
    std::vector<PagePoint> pagePoints;
    int polylines = 0;
};

ovPointer<ovVectorialMetadata> makePage() {
    ovPointer<ovVectorialMetadata> page(new ovVectorialMetadata);
    // X = (0.2 x + 105) / W, Y = (0.2 y + 148) / W, W = 1 + z / 1000
    const float projection[16] = {0.2f, 0, 0, 0, 0, 0.2f, 0, 0, 0, 0, 1, 0.001f, 105, 148, 0, 1};
    std::copy(std::begin(projection), std::end(projection), page->projection);
    const float pageMatrix[4] = {0.96f, -0.28f, 0.28f, 0.96f};
    std::copy(std::begin(pageMatrix), std::end(pageMatrix), page->pageMatrix);
    page->pageOffset[0] = 3.5f;
    page->pageOffset[1] = -4.25f;
    return page;
}

ovPointer<ovLine> makePolyline(std::mt19937& random) {
    std::uniform_real_distribution<float> start(-400.0f, 400.0f);
    std::uniform_real_distribution<float> step(-2.5f, 2.5f);
    std::uniform_real_distribution<float> depth(0.0f, 100.0f);
    const int vertexCount = kSegmentsPerPolyline + 1;
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(ovAttributes(), vertexCount));
    Wm4::Vector3f point(start(random), start(random), depth(random));
    for (int i = 0; i < vertexCount; ++i) {
        vertices->Position3(i) = point;
        point = point + Wm4::Vector3f(step(random), step(random), step(random));
    }
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(2 * kSegmentsPerPolyline));
    for (int segment = 0; segment < kSegmentsPerPolyline; ++segment) {
        indices->getData()[2 * segment] = segment;
        indices->getData()[2 * segment + 1] = segment + 1;
    }
    ovPointer<ovLine> line(new ovLine(vertices.get(), indices.get()));
    line->setColor({0.1f, 0.4f, 0.8f, 1.0f});
    line->setWidth(0.5f);
    return line;
}

Drawing makeDrawing(int polylines) {
    Drawing drawing;
    drawing.polylines = polylines;
    drawing.page = makePage();
    drawing.root = ovPointer<ovNode>(new ovNode);
    drawing.root->setMetadata(drawing.page.get());
    std::mt19937 random(1559);
    for (int i = 0; i < polylines; ++i) {
        drawing.root->attachChild(makePolyline(random).get());
    }
    drawing.root->UpdateGS_Flags();
    const PageProjection projection(*drawing.page);
    drawing.pagePoints.reserve(static_cast<size_t>(polylines) * (kSegmentsPerPolyline + 1));
    for (int i = 0; i < polylines; ++i) {
        const auto& line = static_cast<const ovLine&>(*drawing.root->getChild(i));
        for (int vertex = 0; vertex <= kSegmentsPerPolyline; ++vertex) {
            drawing.pagePoints.push_back(projection.toPage(
                line.getWorldTransform().ApplyForward(line.getVertexBuffer()->Position3(vertex), true)));
        }
    }
    return drawing;
}

bool saveWithDriver(ovCoreMeshDriver& driver, const Drawing& drawing, const std::string& path) {
    ovIoDeviceFileStream file(path, ovIoDevice::WriteOnly, true);
    SaveMeshOptions options;
    options.lineBreaks = true;
    const bool saved = file.isOpen() && driver.saveMeshes({drawing.root}, file, path, nullptr, options);
    return file.close() && saved;
}

// The floor: the same text built with to_chars in a block buffer that goes to
// the file when full.
class BlockWriter {
public:
    explicit BlockWriter(const std::string& path) : mFile(std::fopen(path.c_str(), "wb")) {}
    ~BlockWriter() { close(); }
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    void text(const char* data, size_t size) {
        if (mUsed + size > sizeof mBlock) {
            flush();
        }
        std::memcpy(mBlock + mUsed, data, size);
        mUsed += size;
    }
    template <size_t N>
    void literal(const char (&data)[N]) {
        text(data, N - 1);
    }
    void text(const std::string& data) { text(data.data(), data.size()); }
    void number(float value) {
        if (mUsed + 32 > sizeof mBlock) {
            flush();
        }
        mUsed = static_cast<size_t>(
            std::to_chars(mBlock + mUsed, mBlock + sizeof mBlock, value, std::chars_format::general, 6).ptr -
            mBlock);
    }
    void close() {
        if (mFile) {
            flush();
            std::fclose(mFile);
            mFile = nullptr;
        }
    }

private:
    void flush() {
        std::fwrite(mBlock, 1, mUsed, mFile);
        mUsed = 0;
    }

    std::FILE* mFile;
    char mBlock[1 << 16];
    size_t mUsed = 0;
};

void writeDxfFloor(const Drawing& drawing, const std::string& path) {
    BlockWriter out(path);
    out.text("0\nCOMMENT\n1\nExporter : " + GetSoftwareVersionForStream().toString() +
             "\n0\nCOMMENT\n1\nDatetime : " + ovSystemUtils::GetCurrentDateTimeISO(true) +
             "\n0\nSECTION\n2\nENTITIES\n");
    const PagePoint* point = drawing.pagePoints.data();
    for (int line = 0; line < drawing.polylines; ++line, ++point) {
        for (int segment = 0; segment < kSegmentsPerPolyline; ++segment, ++point) {
            out.literal("0\nLINE\n8\n0\n10\n");
            out.number(point[0].u);
            out.literal("\n20\n");
            out.number(point[0].v);
            out.literal("\n30\n0.0\n11\n");
            out.number(point[1].u);
            out.literal("\n21\n");
            out.number(point[1].v);
            out.literal("\n31\n0.0\n");
        }
    }
    out.literal("0\nENDSEC\n0\nEOF\n");
}

void writeSvgFloor(const Drawing& drawing, const std::string& path) {
    BlockWriter out(path);
    out.literal(
        "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"210mm\" height=\"297mm\" "
        "viewBox=\"0 0 210 297\" >\n");
    const float pageHeight = static_cast<float>(drawing.page->pageHeight);
    const PagePoint* point = drawing.pagePoints.data();
    for (int line = 0; line < drawing.polylines; ++line) {
        out.literal(
            "<g fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\" stroke=\"rgb(25,102,204)\" "
            "stroke-width=\"");
        out.number(0.5f / drawing.page->widthScale);
        out.literal("\">\n  <path d=\"M");
        for (int vertex = 0; vertex <= kSegmentsPerPolyline; ++vertex, ++point) {
            if (vertex > 0) {
                out.literal(" L");
            }
            out.number(point->u);
            out.literal(",");
            out.number(pageHeight - point->v);
        }
        out.literal("\"/>\n</g>\n");
    }
    out.literal("</svg>\n");
}

std::string contentOf(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// ezdxf writing the LINE entities of the first `polylines` polylines; answers
// its seconds, or nothing when it cannot run.
std::optional<double> ezdxfSeconds(const Drawing& drawing, int polylines,
                                   const std::filesystem::path& folder) {
    const std::string pointsPath = (folder / "points.f32").string();
    {
        std::vector<float> quadruples;
        const PagePoint* point = drawing.pagePoints.data();
        for (int line = 0; line < polylines; ++line, ++point) {
            for (int segment = 0; segment < kSegmentsPerPolyline; ++segment, ++point) {
                quadruples.insert(quadruples.end(), {point[0].u, point[0].v, point[1].u, point[1].v});
            }
        }
        std::ofstream stream(pointsPath, std::ios::binary);
        stream.write(reinterpret_cast<const char*>(quadruples.data()),
                     static_cast<std::streamsize>(quadruples.size() * sizeof(float)));
    }
    const std::string command = "/usr/bin/python3 " OV_EZDXF_SCRIPT " " + pointsPath + " " +
                                (folder / "ezdxf.dxf").string() + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return std::nullopt;
    }
    char output[256] = {};
    const size_t read = std::fread(output, 1, sizeof output - 1, pipe);
    const int status = pclose(pipe);
    const char* seconds = std::strstr(output, "seconds=");
    if (status != 0 || read == 0 || !seconds) {
        return std::nullopt;
    }
    return std::strtod(seconds + 8, nullptr);
}

std::string kbText(const std::optional<long>& kb) {
    return kb ? std::to_string(*kb) + " kB" : std::string("n/a");
}

void printRow(const char* name, long segments, double seconds, const std::string& path) {
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::printf("  %-34s %9.3f s %10.3f Msegments/s %8.1f MB/s\n", name, seconds,
                static_cast<double>(segments) / seconds / 1e6, megabytes / seconds);
}

void printRatio(const char* name, double ratio, double target) {
    std::printf("  %-40s %8.2fx   (target >= %gx: %s)\n", name, ratio, target,
                ratio >= target ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    const long requested = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1'000'000;
    const int polylines = std::max(10, static_cast<int>(requested / kSegmentsPerPolyline) / 10 * 10);
    const long segments = static_cast<long>(polylines) * kSegmentsPerPolyline;

    ovSystemUtils::setClock([] { return ovClockReading{1781526896000, 0}; });
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("ov_bench_drawing_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string oursDxf = (folder / "ours.dxf").string();
    const std::string floorDxf = (folder / "floor.dxf").string();
    const std::string oursSvg = (folder / "ours.svg").string();
    const std::string floorSvg = (folder / "floor.svg").string();

    const Drawing drawing = makeDrawing(polylines);
    DxfDriver dxf;
    Mesh2SvgDriver svg;
    bool saved = true;

    // Memory first, while no save has yet left freed blocks for later ones to
    // reuse unseen.
    struct MemoryUse {
        const char* format;
        std::optional<long> tenthKb;
        std::optional<long> wholeKb;
    };
    const Drawing tenth = makeDrawing(std::max(10, polylines / 10));
    const long tenthSegments = static_cast<long>(tenth.polylines) * kSegmentsPerPolyline;
    std::vector<MemoryUse> memory;
    for (const auto& [format, driver] : {std::pair<const char*, ovCoreMeshDriver*>{"DXF", &dxf},
                                         std::pair<const char*, ovCoreMeshDriver*>{"SVG", &svg}}) {
        const std::string path = (folder / "memory.out").string();
        MemoryUse use{format, {}, {}};
        use.tenthKb = peakResidentAddedKb([&] { saved = saveWithDriver(*driver, tenth, path) && saved; });
        use.wholeKb = peakResidentAddedKb([&] { saved = saveWithDriver(*driver, drawing, path) && saved; });
        memory.push_back(use);
    }

    std::printf("Line drawing export: %ld segments in %d polylines, best of %d, to files in %s\n", segments,
                polylines, kRepetitions, folder.c_str());
    const double dxfSeconds =
        bestSeconds(kRepetitions, [&] { saved = saveWithDriver(dxf, drawing, oursDxf) && saved; });
    const double dxfFloorSeconds = bestSeconds(kRepetitions, [&] { writeDxfFloor(drawing, floorDxf); });
    const double svgSeconds =
        bestSeconds(kRepetitions, [&] { saved = saveWithDriver(svg, drawing, oursSvg) && saved; });
    const double svgFloorSeconds = bestSeconds(kRepetitions, [&] { writeSvgFloor(drawing, floorSvg); });
    const bool sameDxf = contentOf(oursDxf) == contentOf(floorDxf);
    const bool sameSvg = contentOf(oursSvg) == contentOf(floorSvg);

    const int ezdxfPolylines = std::max(1, polylines / 10);
    const long ezdxfSegments = static_cast<long>(ezdxfPolylines) * kSegmentsPerPolyline;
    const std::optional<double> ezdxf = ezdxfSeconds(drawing, ezdxfPolylines, folder);

    std::printf("\nDXF\n");
    printRow("ours (DxfDriver)", segments, dxfSeconds, oursDxf);
    printRow("floor (to_chars, 64 KiB blocks)", segments, dxfFloorSeconds, floorDxf);
    if (ezdxf) {
        std::printf("  %-34s %9.3f s %10.3f Msegments/s   (%ld segments)\n", "ezdxf", *ezdxf,
                    static_cast<double>(ezdxfSegments) / *ezdxf / 1e6, ezdxfSegments);
    }
    std::printf("SVG\n");
    printRow("ours (Mesh2SvgDriver)", segments, svgSeconds, oursSvg);
    printRow("floor (to_chars, 64 KiB blocks)", segments, svgFloorSeconds, floorSvg);

    std::printf("\nSame bytes as the floor: DXF %s, SVG %s; saves %s\n", sameDxf ? "yes" : "NO",
                sameSvg ? "yes" : "NO", saved ? "succeeded" : "FAILED");
    std::printf("Ratios of segments per second\n");
    if (ezdxf) {
        const double ezdxfRate = static_cast<double>(ezdxfSegments) / *ezdxf;
        printRatio("DXF ours / ezdxf", static_cast<double>(segments) / dxfSeconds / ezdxfRate, 100);
    } else {
        std::printf("  DXF ours / ezdxf: ezdxf could not run under /usr/bin/python3\n");
    }
    printRatio("DXF ours / floor", dxfFloorSeconds / dxfSeconds, 0.5);
    printRatio("SVG ours / floor", svgFloorSeconds / svgSeconds, 0.5);

    std::printf("\nPeak resident memory added by one save (scene already built)\n");
    for (const MemoryUse& use : memory) {
        std::printf("  %s: %ld segments %s, %ld segments %s\n", use.format, tenthSegments,
                    kbText(use.tenthKb).c_str(), segments, kbText(use.wholeKb).c_str());
    }

    std::filesystem::remove_all(folder);
    return saved && sameDxf && sameSvg ? 0 : 1;
}
