// What a run does one photo after the other, whatever the number of workers: listing the folder,
// and putting each photo in place (commit: owner and mode, the flush of what is left, the rename
// and the folder's flush). Beside them, what the workers do in parallel: writing the file and
// starting its flush. The slowest serial step per photo bounds a run at 1 / its time photos per
// second.
// Runs in a folder under TMPDIR (default /tmp): point it at the disk to be measured.
#include "platform/find_files.h"
#include "platform/safe_file_writer.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <ftw.h>
#include <unistd.h>

namespace {

// About the enhanced file of a 12-megapixel photo.
const std::vector<std::uint8_t> &photoBytes()
{
    static const std::vector<std::uint8_t> bytes(std::size_t(4) << 20, 0x5A);
    return bytes;
}

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}

class Folder
{
public:
    Folder()
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp ? tmp : "/tmp") + "/lumivor-commit-XXXXXX";
        m_path = ::mkdtemp(pattern.data()) ? pattern : "";
    }
    ~Folder() { ::nftw(m_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }
    std::string file(const std::string &name) const { return m_path + "/" + name; }
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

void writeFile(const std::string &path, std::size_t bytes)
{
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

// The listing of a folder of state.range(0) photos, per photo.
void ListFolder(benchmark::State &state)
{
    const Folder folder;
    for (int i = 0; i < state.range(0); ++i)
        writeFile(folder.file("photo_" + std::to_string(i) + ".jpg"), 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::FindMatchingFiles(folder.path() + "/*.jpg"));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ListFolder)->Arg(1000)->Unit(benchmark::kMillisecond);

// A worker's part of writing: the pending file written and its flush started.
void WriteOnWorker(benchmark::State &state)
{
    const Folder folder;
    for (auto _ : state) {
        platform::PendingFile file(folder.file("photo.jpg"));
        file.write(photoBytes());
        file.startFlush();
    }
}
BENCHMARK(WriteOnWorker)->Unit(benchmark::kMillisecond)->UseRealTime();

// The committer's part. writtenBack: whether the file's bytes have reached the disk by the time
// of the commit (the committer runs behind the workers) or the commit comes right after the
// worker (the committer waits for the workers, and the commit waits for the bytes); replacing:
// whether a photo of that name exists (its owner and mode are then given to the new file).
void CommitOnCommitter(benchmark::State &state)
{
    const Folder folder;
    const std::string path = folder.file("photo.jpg");
    for (auto _ : state) {
        state.PauseTiming();
        if (state.range(1))
            writeFile(path, 1);
        else
            ::unlink(path.c_str());
        auto file = std::make_unique<platform::PendingFile>(path);
        file->write(photoBytes());
        file->startFlush();
        if (state.range(0))
            ::usleep(200000);
        state.ResumeTiming();
        file->commit();
    }
}
BENCHMARK(CommitOnCommitter)
    ->ArgNames({ "writtenBack", "replacing" })
    ->ArgsProduct({ { 1, 0 }, { 1, 0 } })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
