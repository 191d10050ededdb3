// Writes the product structure of a flat assembly (one root, many placed
// parts) with the full AP242 schema through a buffered file stream, the way
// the STEP driver lays it out, and compares the writer's throughput with the
// floor of writing the same bytes in one block.
//
// Also printed: the writer reading value maps that were all built before the
// first write (from main memory, unlike the driver's), the writer into a
// device that discards everything (its own cost), and the floor of the
// writer's way of writing: the same bytes handed to the file stream in the
// pieces the writer's tokens came in, one write each.
//
// Usage: bench_part21_writer [parts] [runs]
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <list>
#include <string>
#include <vector>

#include "express/ExpressSchema.h"
#include "step/Part21Writer.h"
#include "system/ovIoDevice.h"
#include "system/ovVariantContainers.h"

namespace {

using ov::ovIoDevice;
using ov::ovIoDeviceFileStream;
using ov::ovVariant;
using ov::ovVariantListImpl;
using ov::ovVariantMapImpl;
using ov::step::Part21Writer;
using ov::step::Part21WriterUserData;
using Clock = std::chrono::steady_clock;

struct Record {
    std::list<std::string> names;
    ovVariantMapImpl values;
    uint64_t id;
};

// Builds the records of the file with ids 1, 2, ... taken in the order the
// driver takes them (a shape representation's id before its children).
class RecordBuilder {
public:
    uint64_t reserve() { return mNextId++; }

    uint64_t add(std::list<std::string> names, ovVariantMapImpl values) {
        return add(std::move(names), std::move(values), reserve());
    }

    uint64_t add(std::list<std::string> names, ovVariantMapImpl values, uint64_t id) {
        mRecords.push_back({std::move(names), std::move(values), id});
        return id;
    }

    uint64_t idCount() const { return mNextId - 1; }
    const std::vector<Record>& records() const { return mRecords; }

private:
    uint64_t mNextId = 1;
    std::vector<Record> mRecords;
};

ovVariant ref(uint64_t id) {
    return Part21WriterUserData(id).toVariant();
}

ovVariant enumValue(const char* literal) {
    return Part21WriterUserData(std::string(literal)).toVariant();
}

ovVariant vec3(double x, double y, double z) {
    const double components[] = {x, y, z};
    return ovVariant(components, 3);
}

ovVariant listOf(std::initializer_list<ovVariant> values) {
    ovVariantListImpl list;
    for (const ovVariant& value : values) {
        list.push_back(value);
    }
    return ovVariant(list);
}

ovVariantMapImpl valuesOf(std::initializer_list<std::pair<const char*, ovVariant>> pairs) {
    ovVariantMapImpl values;
    for (const auto& [name, value] : pairs) {
        values[name] = value;
    }
    return values;
}

struct Frame {
    uint64_t productContext;
    uint64_t definitionContext;
    uint64_t geometricContext;
    uint64_t identityPlacement;
};

Frame buildFrame(RecordBuilder& file) {
    Frame frame;
    const auto application =
        file.add({"application_context"}, valuesOf({{"application", "digital mock up"}}));
    frame.productContext =
        file.add({"product_context"}, valuesOf({{"name", "DMU"},
                                                {"discipline_type", "visualization"},
                                                {"frame_of_reference", ref(application)}}));
    frame.definitionContext =
        file.add({"product_definition_context"}, valuesOf({{"name", "part definition"},
                                                           {"life_cycle_stage", "support"},
                                                           {"frame_of_reference", ref(application)}}));
    const auto length = file.add({"length_unit", "si_unit"},
                                 valuesOf({{"prefix", enumValue("MILLI")}, {"name", enumValue("METRE")}}));
    const auto angle = file.add({"plane_angle_unit", "si_unit"}, valuesOf({{"name", enumValue("RADIAN")}}));
    const auto solidAngle =
        file.add({"solid_angle_unit", "si_unit"}, valuesOf({{"name", enumValue("STERADIAN")}}));
    frame.geometricContext =
        file.add({"geometric_representation_context", "global_unit_assigned_context"},
                 valuesOf({{"context_identifier", ""},
                           {"context_type", ""},
                           {"coordinate_space_dimension", 3},
                           {"units", listOf({ref(length), ref(angle), ref(solidAngle)})}}));
    const auto origin =
        file.add({"cartesian_point"}, valuesOf({{"name", "zero_3d_point"}, {"coordinates", vec3(0, 0, 0)}}));
    const auto z = file.add({"direction"}, valuesOf({{"name", ""}, {"direction_ratios", vec3(0, 0, 1)}}));
    const auto x = file.add({"direction"}, valuesOf({{"name", ""}, {"direction_ratios", vec3(1, 0, 0)}}));
    frame.identityPlacement = file.add(
        {"axis2_placement_3d"},
        valuesOf(
            {{"name", "identity"}, {"location", ref(origin)}, {"axis", ref(z)}, {"ref_direction", ref(x)}}));
    return frame;
}

struct Product {
    uint64_t definition;
    uint64_t shape;
    uint64_t representation;
};

Product buildProduct(RecordBuilder& file, const Frame& frame, const std::string& name) {
    const auto product =
        file.add({"product"}, valuesOf({{"id", ovVariant(name)},
                                        {"name", ovVariant(name)},
                                        {"frame_of_reference", listOf({ref(frame.productContext)})}}));
    const auto formation = file.add({"product_definition_formation"},
                                    valuesOf({{"id", ovVariant(name)}, {"of_product", ref(product)}}));
    Product result;
    result.definition =
        file.add({"product_definition"}, valuesOf({{"id", ovVariant(name)},
                                                   {"formation", ref(formation)},
                                                   {"frame_of_reference", ref(frame.definitionContext)}}));
    result.shape = file.add({"product_definition_shape"},
                            valuesOf({{"name", ovVariant(name)}, {"definition", ref(result.definition)}}));
    result.representation = file.reserve();
    return result;
}

void buildRepresentation(RecordBuilder& file, const Frame& frame, const Product& product,
                         const std::string& name, const ovVariantListImpl& items) {
    file.add({"shape_representation"},
             valuesOf({{"name", ovVariant(name)},
                       {"items", ovVariant(items)},
                       {"context_of_items", ref(frame.geometricContext)}}),
             product.representation);
    file.add(
        {"shape_definition_representation"},
        valuesOf({{"definition", ref(product.shape)}, {"used_representation", ref(product.representation)}}));
}

// A placed part: its product, its placement and the occurrence in the root.
uint64_t buildPlacedPart(RecordBuilder& file, const Frame& frame, const Product& root, int index) {
    const std::string name = "Part_" + std::to_string(index);
    const Product part = buildProduct(file, frame, name);
    ovVariantListImpl items;
    items.push_back(ref(frame.identityPlacement));
    buildRepresentation(file, frame, part, name, items);

    // Single-precision matrix values, as a scene graph holds them.
    const float offset = static_cast<float>(index) * 12.7f;
    const auto x =
        file.add({"direction"}, valuesOf({{"name", ""}, {"direction_ratios", vec3(0.8f, 0.6f, 0)}}));
    const auto z = file.add({"direction"}, valuesOf({{"name", ""}, {"direction_ratios", vec3(0, 0, 1)}}));
    const auto location =
        file.add({"cartesian_point"}, valuesOf({{"name", ""}, {"coordinates", vec3(offset, 25.4f, -3.5f)}}));
    const auto placement = file.add(
        {"axis2_placement_3d"},
        valuesOf({{"name", ""}, {"location", ref(location)}, {"axis", ref(z)}, {"ref_direction", ref(x)}}));
    const auto transform = file.add({"item_defined_transformation"},
                                    valuesOf({{"name", ""},
                                              {"transform_item_1", ref(frame.identityPlacement)},
                                              {"transform_item_2", ref(placement)}}));
    const auto usage = file.add({"next_assembly_usage_occurrence"},
                                valuesOf({{"id", ovVariant(name)},
                                          {"name", ovVariant(name)},
                                          {"relating_product_definition", ref(root.definition)},
                                          {"related_product_definition", ref(part.definition)}}));
    const auto link = file.add(
        {"product_definition_shape"},
        valuesOf({{"name", ovVariant("Link_Root_" + std::to_string(index))}, {"definition", ref(usage)}}));
    const auto relationship =
        file.add({"representation_relationship_with_transformation", "shape_representation_relationship"},
                 valuesOf({{"name", ""},
                           {"rep_1", ref(part.representation)},
                           {"rep_2", ref(root.representation)},
                           {"transformation_operator", ref(transform)}}));
    file.add({"context_dependent_shape_representation"},
             valuesOf({{"representation_relation", ref(relationship)},
                       {"represented_product_relation", ref(link)}}));
    return placement;
}

RecordBuilder buildAssembly(int partCount) {
    RecordBuilder file;
    const Frame frame = buildFrame(file);
    const Product root = buildProduct(file, frame, "Root");
    ovVariantListImpl rootItems;
    rootItems.push_back(ref(frame.identityPlacement));
    for (int index = 0; index < partCount; ++index) {
        rootItems.push_back(ref(buildPlacedPart(file, frame, root, index)));
    }
    buildRepresentation(file, frame, root, "Root", rootItems);
    return file;
}

// Adds up the time between each start and the stop that follows it.
class Stopwatch {
public:
    void start() { mStart = Clock::now(); }
    void stop() { mSpent += Clock::now() - mStart; }
    double seconds() const { return std::chrono::duration<double>(mSpent).count(); }

private:
    Clock::time_point mStart;
    Clock::duration mSpent{};
};

// Where the writer finds the value maps.
enum class MapPlacement {
    // Filled right before they are handed over, as the driver does, so that
    // they are in the processor's cache: each batch of records is copied, with
    // the clock stopped, right before it is written.
    Fresh,
    // Where they were built, all of them before the first write: mostly in
    // main memory, which the driver never makes the writer read.
    BuiltBeforehand,
};

// Writes the file the way the driver does: one writeEntity per record, the
// single-name form for simple instances. The stopwatch runs during the call
// except while batches are copied.
bool writeRecords(const RecordBuilder& file, ov::express::ExpressSchema& schema, ovIoDevice& device,
                  MapPlacement placement, Stopwatch& stopwatch) {
    constexpr size_t kBatch = 64;
    Part21Writer writer;
    if (!writer.beginWritePart21({"bench.stp"}, &schema, &device)) {
        return false;
    }
    for (uint64_t id = 0; id < file.idCount(); ++id) {
        writer.generateEntityId();
    }
    const std::vector<Record>& records = file.records();
    std::vector<Record> batch;
    for (size_t first = 0; first < records.size(); first += kBatch) {
        const size_t last = std::min(records.size(), first + kBatch);
        const Record* begin = records.data() + first;
        const Record* end = records.data() + last;
        if (placement == MapPlacement::Fresh) {
            stopwatch.stop();
            batch.assign(begin, end);
            begin = batch.data();
            end = begin + batch.size();
            stopwatch.start();
        }
        for (const Record* record = begin; record != end; ++record) {
            const Part21WriterUserData id(record->id);
            const bool written = record->names.size() == 1
                                     ? writer.writeEntity(record->names.front(), record->values, id)
                                     : writer.writeEntity(record->names, record->values, id);
            if (!written) {
                return false;
            }
        }
    }
    return writer.endWritePart21();
}

// Discards every byte: the writer's own cost without the file system.
class NullDevice : public ovIoDevice {
public:
    bool good() const override { return true; }
    int64_t write(const char*, int64_t length) override { return length; }
    int64_t read(char*, int64_t) override { return -1; }
};

// Keeps the length of every write: the writer hands each token over by its
// own write, so replaying these lengths gives the floor of that way of writing.
class TokenRecorder : public ovIoDevice {
public:
    bool good() const override { return true; }
    int64_t write(const char*, int64_t length) override {
        lengths.push_back(length);
        return length;
    }
    int64_t read(char*, int64_t) override { return -1; }

    std::vector<int64_t> lengths;
};

// Writes the bytes of the file piece by piece, as the writer's tokens came.
bool replayTokens(const std::string& bytes, const std::vector<int64_t>& lengths, ovIoDevice& device) {
    const char* next = bytes.data();
    for (const int64_t length : lengths) {
        if (device.write(next, length) != length) {
            return false;
        }
        next += length;
    }
    return next == bytes.data() + bytes.size();
}

// The shortest time of each measurement over a number of rounds. Each round
// runs every measurement once, so that a passing load on the machine weighs on
// all of them alike. Each measurement starts and stops the stopwatch it is given.
template <size_t Count>
std::array<double, Count> bestOf(int rounds, const std::array<std::function<bool(Stopwatch&)>, Count>& runs) {
    std::array<double, Count> best;
    best.fill(1e300);
    for (int round = 0; round < rounds; ++round) {
        for (size_t index = 0; index < Count; ++index) {
            Stopwatch stopwatch;
            if (!runs[index](stopwatch)) {
                std::fprintf(stderr, "a run failed\n");
                std::exit(1);
            }
            best[index] = std::min(best[index], stopwatch.seconds());
        }
    }
    return best;
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    const int partCount = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;

    ov::express::ExpressSchema schema;
    if (!schema.loadSchema(OV_SHARED_DATA_DIR "/step/ap242_1_36_mim_lf.exp")) {
        std::fprintf(stderr, "cannot load the AP242 schema\n");
        return 1;
    }
    const RecordBuilder file = buildAssembly(partCount);
    const auto recordCount = static_cast<double>(file.records().size());
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "ov_bench_part21_writer.stp";

    // Every run writes a new file. Writing over the previous run's file would
    // add to each measurement the kernel's cost of discarding that file's
    // pages, which belongs to none of them and would bring their ratio closer to 1.
    const auto startOnNewFile = [&](Stopwatch& stopwatch) {
        std::filesystem::remove(path);
        stopwatch.start();
    };
    const auto intoFile = [&](MapPlacement placement) {
        return [&, placement](Stopwatch& stopwatch) {
            startOnNewFile(stopwatch);
            ovIoDeviceFileStream stream(path.string(), ovIoDevice::WriteOnly, true);
            const bool written = writeRecords(file, schema, stream, placement, stopwatch) && stream.close();
            stopwatch.stop();
            return written;
        };
    };
    // The file's bytes, for the floor.
    Stopwatch unused;
    if (!intoFile(MapPlacement::Fresh)(unused)) {
        std::fprintf(stderr, "the file was not written\n");
        return 1;
    }
    const std::string bytes = readAll(path);
    const double megabytes = static_cast<double>(bytes.size()) / 1e6;

    TokenRecorder tokens;
    Stopwatch recording;
    if (!writeRecords(file, schema, tokens, MapPlacement::BuiltBeforehand, recording)) {
        std::fprintf(stderr, "the tokens were not recorded\n");
        return 1;
    }

    const auto [writerSeconds, beforehandSeconds, cpuSeconds, floorSeconds, tokenFloorSeconds] = bestOf<5>(
        runs, {intoFile(MapPlacement::Fresh), intoFile(MapPlacement::BuiltBeforehand),
               [&](Stopwatch& stopwatch) {
                   NullDevice device;
                   stopwatch.start();
                   const bool written = writeRecords(file, schema, device, MapPlacement::Fresh, stopwatch);
                   stopwatch.stop();
                   return written;
               },
               [&](Stopwatch& stopwatch) {
                   startOnNewFile(stopwatch);
                   ovIoDeviceFileStream stream(path.string(), ovIoDevice::WriteOnly, true);
                   const bool written = stream.write(bytes.data(), static_cast<int64_t>(bytes.size())) ==
                                            static_cast<int64_t>(bytes.size()) &&
                                        stream.close();
                   stopwatch.stop();
                   return written;
               },
               [&](Stopwatch& stopwatch) {
                   startOnNewFile(stopwatch);
                   ovIoDeviceFileStream stream(path.string(), ovIoDevice::WriteOnly, true);
                   const bool written = replayTokens(bytes, tokens.lengths, stream) && stream.close();
                   stopwatch.stop();
                   return written;
               }});
    std::filesystem::remove(path);

    const double recordsPerSecond = recordCount / writerSeconds;
    const double writerMBps = megabytes / writerSeconds;
    const double floorMBps = megabytes / floorSeconds;
    std::printf(
        "Part 21 writer, full AP242 schema, %d placed parts: %.0f records, %.2f MB, best of %d runs\n",
        partCount, recordCount, megabytes, runs);
    std::printf("  writer into a file stream : %8.4f s  %12.0f records/s  %8.1f MB/s\n", writerSeconds,
                recordsPerSecond, writerMBps);
    std::printf("  the same, maps read from where they were all built beforehand:\n");
    std::printf("                              %8.4f s  %12.0f records/s  %8.1f MB/s\n", beforehandSeconds,
                recordCount / beforehandSeconds, megabytes / beforehandSeconds);
    std::printf("  writer into a null device : %8.4f s  %12.0f records/s  %8.1f MB/s\n", cpuSeconds,
                recordCount / cpuSeconds, megabytes / cpuSeconds);
    std::printf("  floor, one block write    : %8.4f s  %35.1f MB/s\n", floorSeconds, floorMBps);
    std::printf("  floor, one write per token: %8.4f s  %35.1f MB/s  (%.1f writes per record)\n",
                tokenFloorSeconds, megabytes / tokenFloorSeconds,
                static_cast<double>(tokens.lengths.size()) / recordCount);
    std::printf("ratio records/s to the target of 500000      : %.2f (%s)\n", recordsPerSecond / 500000.0,
                recordsPerSecond >= 500000.0 ? "met" : "MISSED");
    std::printf("ratio writer MB/s to the one-block floor     : %.3f (target 0.25, %s)\n",
                writerMBps / floorMBps, writerMBps / floorMBps >= 0.25 ? "met" : "MISSED");
    std::printf("ratio writer MB/s to the one-write-per-token floor: %.3f\n",
                tokenFloorSeconds / writerSeconds);
    return 0;
}
