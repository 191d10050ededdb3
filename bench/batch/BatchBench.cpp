// Converts a folder of generated OBJ files (a waved grid of about 10,000
// triangles each) to binary STL three ways, in one run:
//   - `ovmesh convert DIR --to stl --out-dir OUT`, all cores;
//   - `ovmesh convert IN OUT` once per file, each timed alone: the sum over
//     the cores is what a perfect spread of those runs would take;
//   - a shell loop of `assimp export IN OUT -fstlb`, as a user would write it.
// The batch should be at least 3 times as fast as the loop, and take at most
// 1.2 times the perfect spread.
//
// Usage: bench_batch [files] [quads per side]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/Timing.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A square of side x side quads, waved differently in each file so that no
// two files are alike.
void writeGrid(const fs::path& path, int side, int seed) {
    std::string text;
    char line[96];
    for (int row = 0; row <= side; ++row) {
        for (int column = 0; column <= side; ++column) {
            const double x = column / double(side);
            const double y = row / double(side);
            std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\n", x, y, 0.05 * std::sin(8 * x + seed));
            text += line;
        }
    }
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const int a = row * (side + 1) + column + 1;
            const int b = a + side + 1;
            std::snprintf(line, sizeof line, "f %d %d %d\nf %d %d %d\n", a, a + 1, b + 1, a, b + 1, b);
            text += line;
        }
    }
    std::ofstream(path, std::ios::binary) << text;
}

// Runs the program with its output thrown away; false when it fails.
bool runQuietly(std::vector<std::string> arguments) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    return status == 0;
}

// The processor time of the waited-for children so far (user and system), in
// seconds: on a busy machine it tells the tool's own work from the wait for a core.
double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Phase {
    double seconds;
    double cpuSeconds;
};

Phase measure(const std::function<void()>& work) {
    const double cpuBefore = childrenCpuSeconds();
    const double seconds = secondsOf(work);
    return {seconds, childrenCpuSeconds() - cpuBefore};
}

size_t filesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int side = argc > 2 ? std::atoi(argv[2]) : 71;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const fs::path root = fs::temp_directory_path() / ("bench_batch_" + std::to_string(getpid()));
    const fs::path inputs = root / "in";
    fs::create_directories(inputs);
    std::vector<std::string> names;
    for (int i = 0; i < files; ++i) {
        names.push_back("part" + std::to_string(i));
        writeGrid(inputs / (names.back() + ".obj"), side, i);
    }
    std::printf("%d OBJ files of %d triangles each, %u cores\n", files, 2 * side * side, cores);

    const Phase batch = measure([&] {
        runQuietly({OVMESH_EXECUTABLE, "-q", "convert", inputs.string(), "--to", "stl", "--out-dir",
                    (root / "batch").string()});
    });
    fs::create_directories(root / "single");
    double singles = 0;
    const Phase single = measure([&] {
        for (const std::string& name : names) {
            singles += secondsOf([&] {
                runQuietly({OVMESH_EXECUTABLE, "-q", "convert", (inputs / (name + ".obj")).string(),
                            (root / "single" / (name + ".stl")).string()});
            });
        }
    });
    fs::create_directories(root / "assimp");
    const std::string loop = "cd '" + root.string() +
                             "' && for f in in/*.obj; do n=${f##*/}; assimp export \"$f\" " +
                             "\"assimp/${n%.obj}.stl\" -fstlb >/dev/null 2>&1; done";
    const Phase assimp = measure([&] { (void)std::system(loop.c_str()); });

    std::printf("                                        wall      processor  files written\n");
    std::printf("ovmesh convert --out-dir (-j %u):     %8.2f s  %8.2f s  %zu\n", cores, batch.seconds,
                batch.cpuSeconds, filesIn(root / "batch"));
    std::printf("ovmesh convert per file, sum / cores: %8.2f s  %8.2f s  %zu\n", singles / cores,
                single.cpuSeconds, filesIn(root / "single"));
    std::printf("shell loop of assimp export:          %8.2f s  %8.2f s  %zu\n", assimp.seconds,
                assimp.cpuSeconds, filesIn(root / "assimp"));
    std::printf("assimp loop / batch: %.2f (goal >= 3)\n", assimp.seconds / batch.seconds);
    std::printf("batch / (sum of single files / cores): %.2f (goal <= 1.2); processor time %.2f\n",
                batch.seconds / (singles / cores), batch.cpuSeconds / single.cpuSeconds);
    fs::remove_all(root);
    return 0;
}
