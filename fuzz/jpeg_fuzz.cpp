// libFuzzer target: arbitrary bytes as a photo file, through the whole per-photo sequence
// (read, decode, the four operations, encode, safe save).
#include "enhance/enhance_photo.h"
#include "image/error.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Larger pictures only cost time: the code paths are the same, and a mutated frame header could
// otherwise ask for gigabytes of grey on almost every run.
constexpr std::uint64_t maxPixels = 1u << 20;

// Every frame header the codec could act on declares at most maxPixels. All FF Cn start-of-frame
// codes anywhere in the input count, so that no way of reaching one slips past.
bool declaresSmallPicture(const std::uint8_t *data, std::size_t size)
{
    for (std::size_t at = 0; at + 9 <= size; ++at) {
        const std::uint8_t code = data[at + 1];
        if (data[at] != 0xFF || code < 0xC0 || code > 0xCF || code == 0xC4 || code == 0xC8
            || code == 0xCC)
            continue;
        const std::uint64_t height = std::uint64_t(data[at + 5]) << 8 | data[at + 6];
        const std::uint64_t width = std::uint64_t(data[at + 7]) << 8 | data[at + 8];
        if (width * height > maxPixels)
            return false;
    }
    return true;
}

// One folder in /dev/shm per process, so parallel fuzzing jobs never share files.
const std::string &workFolder()
{
    static const std::string folder = [] {
        char pattern[] = "/dev/shm/lumivor-fuzz-XXXXXX";
        if (!mkdtemp(pattern))
            std::abort();
        return std::string(pattern);
    }();
    return folder;
}

void writeInput(const std::string &path, const std::uint8_t *data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t written = ::write(fd, data + done, size - done);
        if (written <= 0)
            std::abort();
        done += std::size_t(written);
    }
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (!declaresSmallPicture(data, size))
        return -1; // keep it out of the corpus
    const std::string source = workFolder() + "/in.jpg";
    const std::string destination = workFolder() + "/out.jpg";
    writeInput(source, data, size);

    // The working images outlive one input, as the window's do across a folder.
    static enhance::TWorkingImages images;
    try {
        enhance::EnhancePhoto(images, source, destination);
    } catch (const image::Error &) {
        // The documented outcome for a file that is not a usable photo.
    }
    // Anything else (std::bad_alloc, a logic_error) escapes and libFuzzer reports it.
    ::unlink(destination.c_str());
    return 0;
}
