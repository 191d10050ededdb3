// Load of a generated PLM XML v6 document of about 100 MB (10 product
// definitions of 20,000 instances each, every instance with a transform and
// a part of its own with a user value and a representation): our driver, from
// the file to the finished scene, next to two readers of the same bytes:
// expat with empty handlers (the floor: expat's own work, which every reader
// on it pays) and lxml's parse through the system Python (a peer). Also the
// peak memory our load adds, against the file size. The figures are the best
// of the runs; the first load of a process also takes its memory fresh from
// the system, which is printed apart. Then the same for an occurrence tree of
// about 100 MB as product data management systems export it (a ProductView
// of 160,000 occurrences with transforms and user values, placing 2,000
// revisions with data sets and files), read by the occurrence reader. Last,
// a document that is mostly one 64 MB attribute value, loaded by us and
// parsed by lxml.
//
// Usage: bench_plmxml [instances per product definition] [runs] [ours]
// With "ours", only our load runs, and each time is printed (for profilers).
#include <expat.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "plmxml/ovPlmXmlMeshDriver.h"
#include "scenegraph/ovSpatial.h"
#include "support/ResidentMemory.h"
#include "support/Timing.h"

namespace {

constexpr int kProductDefs = 10;
constexpr int kNamesPerProductDef = 500;
constexpr size_t kLongTokenBytes = size_t{64} << 20;
constexpr int kAssemblies = 200;
constexpr int kRevisions = 2000;

std::string attribute(const char* name, const std::string& value) {
    return std::string(" ") + name + "=\"" + value + "\"";
}

// One product definition: a root assembly holding `instances` placed parts.
void writeProductDef(std::ofstream& out, int def, int instances) {
    const std::string prefix = 'd' + std::to_string(def) + "_";
    std::string refs;
    for (int i = 0; i < instances; ++i) {
        refs += (i == 0 ? "" : " ") + prefix + "i" + std::to_string(i);
    }
    out << "<ProductDef id=\"" << prefix << "\">\n<InstanceGraph rootRefs=\"" << prefix << "root\">\n"
        << "<ProductInstance id=\"" << prefix << "root\" partRef=\"#" << prefix << "asm\" name=\"Assembly "
        << def << "\"/>\n<ProductRevisionView id=\"" << prefix << "asm\" name=\"Assembly " << def
        << "\" type=\"assembly\" instanceRefs=\"" << refs << "\"/>\n";
    for (int i = 0; i < instances; ++i) {
        const std::string id = std::to_string(i);
        const std::string name = "Part-" + std::to_string(i % kNamesPerProductDef);
        const double x = 0.001 * i;
        out << "<ProductInstance" << attribute("id", prefix + "i" + id)
            << attribute("partRef", "#" + prefix + "p" + id) << attribute("name", name)
            << attribute("sequenceNumber", std::to_string(10 * i)) << ">\n"
            << "<Transform id=\"" << prefix << "t" << id
            << "\">0.9028906808133749 0 -0.4298702344898521 0 0 1 0 0 0.4298702344898522 -0 "
               "0.9028906808133751 0 "
            << x << " 0.2374295993263013 0.09071258739047408 1</Transform></ProductInstance>\n"
            << "<ProductRevisionView" << attribute("id", prefix + "p" + id) << attribute("name", name)
            << attribute("type", "solid") << attribute("revision", "A") << ">\n<UserData type=\"Properties\">"
            << "<UserValue title=\"mass\" value=\"" << (i % 97) << ".5\"/></UserData>\n"
            << "<Representation id=\"" << prefix << "r" << id << "\" format=\"JT\" location=\"parts/" << name
            << ".jt\"/></ProductRevisionView>\n";
    }
    out << "</InstanceGraph>\n</ProductDef>\n";
}

void writeDocument(const std::string& path, int instances) {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<PLMXML "
           "xmlns=\"http://www.plmxml.org/Schemas/PLMXMLSchema\""
           " schemaVersion=\"6\" author=\"bench\" date=\"2026-01-01\">\n";
    for (int def = 0; def < kProductDefs; ++def) {
        writeProductDef(out, def, instances);
    }
    out << "</PLMXML>\n";
}

// The occurrence tree: a root holding kAssemblies sub-assemblies of `leaves`
// parts each, every occurrence placed in the root's frame; then the revisions
// they place, each with a rendering data set of two files.
void writeOccurrenceDocument(const std::string& path, int leaves) {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<PLMXML "
           "xmlns=\"http://www.plmxml.org/Schemas/PLMXMLSchema\" schemaVersion=\"6\">\n"
           "<ProductView id=\"pv\" rootRefs=\"o\">\n";
    auto occurrence = [&out](const std::string& id, int revision, const std::string& children, int sequence) {
        out << "<Occurrence" << attribute("id", id)
            << attribute("instancedRef", "#r" + std::to_string(revision))
            << (children.empty() ? "" : attribute("occurrenceRefs", children)) << ">\n"
            << "<ApplicationRef application=\"PDM\" label=\"lwMAAAjb4nVYVB/" << id << "\"></ApplicationRef>\n"
            << "<UserData id=\"" << id << "u\" type=\"AttributesInContext\">\n"
            << "<UserValue title=\"SequenceNumber\" value=\"" << sequence << "\"></UserValue>\n"
            << "<UserValue title=\"OccurrenceName\" value=\"\"></UserValue>\n"
            << "<UserValue title=\"Quantity\" value=\"1\"></UserValue></UserData>\n"
            << "<Transform id=\"" << id << "t\">0.9028906808133749 0 -0.4298702344898521 0 0 1 0 0 "
            << "0.4298702344898522 -0 0.9028906808133751 0 " << 0.001 * sequence
            << " 0.2374295993263013 0.09071258739047408 1</Transform></Occurrence>\n";
    };
    std::string assemblies;
    for (int a = 0; a < kAssemblies; ++a) {
        assemblies += (a == 0 ? "a" : " a") + std::to_string(a);
    }
    occurrence("o", 0, assemblies, 0);
    for (int a = 0; a < kAssemblies; ++a) {
        std::string leafIds;
        for (int leaf = 0; leaf < leaves; ++leaf) {
            leafIds += (leaf == 0 ? "a" : " a") + std::to_string(a) + "_" + std::to_string(leaf);
        }
        occurrence('a' + std::to_string(a), 1 + a % 10, leafIds, a);
        for (int leaf = 0; leaf < leaves; ++leaf) {
            occurrence('a' + std::to_string(a) + "_" + std::to_string(leaf),
                       11 + (a * leaves + leaf) % (kRevisions - 11), "", leaf);
        }
    }
    out << "</ProductView>\n";
    for (int r = 0; r < kRevisions; ++r) {
        const std::string id = std::to_string(r);
        out << "<ProductRevision" << attribute("id", "r" + id) << attribute("name", "Part " + id)
            << attribute("subType", "ItemRevision") << attribute("masterRef", "#m" + id)
            << attribute("revision", "A") << ">\n<UserData><UserValue title=\"item_id\" value=\"PMI." << id
            << "\"></UserValue></UserData>\n"
            << "<AssociatedDataSet dataSetRef=\"#d" << id
            << "\" role=\"IMAN_Rendering\"/></ProductRevision>\n"
            << "<Product" << attribute("id", "m" + id) << attribute("productId", "P" + id) << "/>\n"
            << "<DataSet" << attribute("id", "d" + id)
            << attribute("memberRefs", "#f" + id + "a #f" + id + "b") << "/>\n<ExternalFile"
            << attribute("id", "f" + id + "a") << attribute("locationRef", "export\\part_" + id + "$.jt")
            << " format=\"jt\"/>\n"
            << "<ExternalFile" << attribute("id", "f" + id + "b")
            << attribute("locationRef", "export\\part_" + id + "_model$.jt") << " format=\"jt\"/>\n";
    }
    out << "</PLMXML>\n";
}

// One product definition whose only part carries a user value of `bytes`
// bytes: a single token that long, which must cost linear time however the
// reader feeds the parser.
void writeLongTokenDocument(const std::string& path, size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<PLMXML schemaVersion=\"6\">\n<ProductDef id=\"d\">"
        << "<InstanceGraph rootRefs=\"i\"><ProductInstance id=\"i\" partRef=\"#p\" name=\"Long\"/>\n"
        << "<ProductRevisionView id=\"p\" name=\"Long\" type=\"solid\"><UserData><UserValue title=\"note\" "
           "value=\""
        << std::string(bytes, 'x')
        << "\"/></UserData></ProductRevisionView>\n</InstanceGraph></ProductDef>\n</PLMXML>\n";
}

struct Elements {
    long long count = 0;
};

void countElement(void* data, const XML_Char*, const XML_Char**) {
    ++static_cast<Elements*>(data)->count;
}

void ignoreEnd(void*, const XML_Char*) {}

void ignoreText(void*, const XML_Char*, int) {}

// The elements expat finds in the file, read in the chunks our reader uses, with handlers that do nothing.
long long expatElements(const std::string& path) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    Elements counted;
    XML_SetUserData(parser, &counted);
    XML_SetElementHandler(parser, countElement, ignoreEnd);
    XML_SetCharacterDataHandler(parser, ignoreText);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    constexpr int kChunk = 64 * 1024;
    bool done = false;
    while (!done) {
        void* buffer = XML_GetBuffer(parser, kChunk);
        const size_t length = std::fread(buffer, 1, kChunk, file);
        done = length == 0;
        if (XML_ParseBuffer(parser, static_cast<int>(length), done) != XML_STATUS_OK) {
            std::fprintf(stderr, "expat: %s\n", XML_ErrorString(XML_GetErrorCode(parser)));
            std::exit(1);
        }
    }
    std::fclose(file);
    XML_ParserFree(parser);
    return counted.count;
}

// The time expat alone takes over the file.
double expatFloor(const std::string& path, long long& elements) {
    return secondsOf([&] { elements = expatElements(path); });
}

// Time to take `bytes` of fresh memory from the system and write every page once.
double firstTouch(long long bytes) {
    return secondsOf([bytes] {
        std::vector<char> memory(static_cast<size_t>(std::max(bytes, 1LL)));
        // A read the compiler must keep, so that the zero-filled block is really made.
        const volatile char* const keep = memory.data();
        static_cast<void>(keep[memory.size() / 2]);
    });
}

double ourLoad(const std::string& path, ov::PlmXmlReading reading, long long& peakAdded) {
    ov::ovPlmXmlMeshDriver driver;
    driver.setReading(reading);
    ov::ovObjectList objects;
    bool loaded = false;
    double elapsed = 0;
    peakAdded = 1024LL * peakResidentAddedKb([&] {
                             elapsed = secondsOf([&] {
                                 loaded = driver.loadMeshes(objects, path, nullptr, ov::LoadMeshOptions());
                             });
                         }).value_or(0);
    if (!loaded || objects.size() != 1) {
        std::fprintf(
            stderr, "our load failed: %s\n",
            driver.getErrorMessages().empty() ? "?" : driver.getErrorMessages().front().first.c_str());
        std::exit(1);
    }
    objects.clear();
    return elapsed;
}

// lxml's own timing of its parse of the file (read included); negative when
// the system Python has no lxml. Without huge_tree, lxml refuses attribute
// values beyond 10 MB.
double lxmlParse(const std::string& path) {
    const std::string script = std::filesystem::temp_directory_path() / "ov_bench_lxml.py";
    std::ofstream(script) << "import sys, time\nfrom lxml import etree\nstart = time.perf_counter()\n"
                             "etree.parse(sys.argv[1], etree.XMLParser(huge_tree=True))\n"
                             "print(time.perf_counter() - start)\n";
    const std::string command = std::string(OV_SYSTEM_PYTHON) + " " + script + " '" + path + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    double elapsed = -1;
    if (pipe && std::fscanf(pipe, "%lf", &elapsed) != 1) {
        elapsed = -1;
    }
    if (pipe) {
        pclose(pipe);
    }
    std::filesystem::remove(script);
    return elapsed;
}

// A host that loads one assembly after another reuses the memory its earlier
// scenes freed. Left to itself, the C library may hand a freed scene back to
// the system, and which later loads pay again for fresh pages would be luck;
// here it keeps it. The first load still takes all its memory fresh, and is
// printed apart.
void keepFreedMemory() {
#ifdef M_TRIM_THRESHOLD
    constexpr int kNeverTrim = 1 << 30;
    constexpr int kLargestHeapBlock = 32 << 20;
    mallopt(M_TRIM_THRESHOLD, kNeverTrim);
    mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
#endif
}

}  // namespace

struct Measured {
    double megabytes = 0;
    double ours = 1e9, floor = 1e9, peer = 1e9, firstLoad = 0;
    long long elements = 0, peakAdded = 0;
};

// The best of the runs of each reader of the file, which is then removed.
Measured measure(const std::string& path, ov::PlmXmlReading reading, int runs) {
    Measured measured;
    measured.megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    for (int run = 0; run < runs; ++run) {
        long long peak = 0;
        const double load = ourLoad(path, reading, peak);
        measured.firstLoad = run == 0 ? load : measured.firstLoad;
        measured.ours = std::min(measured.ours, load);
        measured.peakAdded = std::max(measured.peakAdded, peak);
        measured.floor = std::min(measured.floor, expatFloor(path, measured.elements));
        const double lxml = lxmlParse(path);
        measured.peer = lxml < 0 ? measured.peer : std::min(measured.peer, lxml);
    }
    std::filesystem::remove(path);
    return measured;
}

void report(const Measured& m) {
    std::printf("ours (parse + scene) %8.1f MB/s\n", m.megabytes / m.ours);
    std::printf("expat, empty handlers %7.1f MB/s   ours / floor = %.2f\n", m.megabytes / m.floor,
                m.floor / m.ours);
    if (m.peer < 1e9) {
        std::printf("lxml parse           %8.1f MB/s   ours / lxml  = %.2f\n", m.megabytes / m.peer,
                    m.peer / m.ours);
    } else {
        std::printf("lxml parse: not available (no lxml for %s)\n", OV_SYSTEM_PYTHON);
    }
    std::printf("peak memory added by our load: %.1f MB = %.2f x the file\n",
                static_cast<double>(m.peakAdded) / 1e6, static_cast<double>(m.peakAdded) / 1e6 / m.megabytes);
    std::printf(
        "first load of the process, its memory fresh from the system: %.1f MB/s (touching that "
        "much fresh memory alone: %.3f s)\n",
        m.megabytes / m.firstLoad, firstTouch(m.peakAdded));
}

int main(int argc, char** argv) {
    keepFreedMemory();
    const int instances = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string path = std::filesystem::temp_directory_path() / "ov_bench_plmxml.plmxml";
    writeDocument(path, instances);

    if (argc > 3 && std::string(argv[3]) == "ours") {
        for (int run = 0; run < runs; ++run) {
            long long peak = 0;
            std::printf("%.3f s\n", ourLoad(path, ov::PlmXmlReading::Strict, peak));
        }
        std::filesystem::remove(path);
        return 0;
    }
    const Measured strict = measure(path, ov::PlmXmlReading::Strict, runs);
    const std::string occurrencePath =
        std::filesystem::temp_directory_path() / "ov_bench_plmxml_occurrences.xml";
    // As many leaves as instances per product definition make a document of about the same size.
    const int leaves = std::max(1, instances * kProductDefs / kAssemblies);
    writeOccurrenceDocument(occurrencePath, leaves);
    const Measured occurrences = measure(occurrencePath, ov::PlmXmlReading::Occurrences, runs);

    const std::string longTokenPath = std::filesystem::temp_directory_path() / "ov_bench_plmxml_long.plmxml";
    writeLongTokenDocument(longTokenPath, kLongTokenBytes);
    double oursLong = 1e9, peerLong = 1e9;
    for (int run = 0; run < runs; ++run) {
        long long peak = 0;
        oursLong = std::min(oursLong, ourLoad(longTokenPath, ov::PlmXmlReading::Strict, peak));
        const double lxml = lxmlParse(longTokenPath);
        peerLong = lxml < 0 ? peerLong : std::min(peerLong, lxml);
    }
    std::filesystem::remove(longTokenPath);

    std::printf("document: %.1f MB, %lld elements, %d product definitions of %d instances (best of %d)\n",
                strict.megabytes, strict.elements, kProductDefs, instances, runs);
    report(strict);
    std::printf(
        "\noccurrence document: %.1f MB, %lld elements, %d occurrences placing %d revisions (best of %d)\n",
        occurrences.megabytes, occurrences.elements, 1 + kAssemblies * (1 + leaves), kRevisions, runs);
    report(occurrences);
    std::printf("\none attribute value of %zu MB: ours %.3f s", kLongTokenBytes >> 20, oursLong);
    if (peerLong < 1e9) {
        std::printf(", lxml %.3f s, ours / lxml = %.2f (at most 2)\n", peerLong, oursLong / peerLong);
    } else {
        std::printf("\n");
    }
    return 0;
}
