// libFuzzer target: arbitrary bytes as a photo file, through the whole per-photo sequence in
// memory as a photo takes it (the checks of its start, the record query, header, decode, the
// four operations row by row, encode with the record). Its mutator also makes the files that
// stall or exhaust a decoder: many segments, many scans, huge declared sizes, padding.
#include "core/error.h"
#include "imageio/enhancement_record.h"
#include "imageio/jpeg_image.h"
#include "imageio/jpeg_scan_bytes.h"
#include "run/enhance_loaded_photo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t *data, std::size_t size, std::size_t maxSize);

namespace {

// A picture that passes every check of the header costs time in proportion to its pixels once
// decoded (under the sanitizers up to 1.7 s per megapixel through the whole sequence) and takes
// no path that a smaller one does not: both sides up to 65500 stay reachable with the other side
// short. So the sequence stops after the header's checks for pictures over 512 x 512 pixels;
// decoding them would soon fill the corpus and cut the executions to a third at 1 MP and a tenth
// at 16 MP. Larger ones still go through every check that guards the decoder.
constexpr std::uint64_t mostDecodedPixels = 1u << 18;

bool isFrameCode(std::uint8_t code)
{
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Whether the checks of a file's start, made before the rest is read, refuse it.
bool refusedAtStart(const std::uint8_t *data, std::size_t size)
{
    try {
        imageio::checkJpegStart(data, size, size);
        return false;
    } catch (const core::Error &) {
        return true;
    }
}

using Bytes = std::vector<std::uint8_t>;

// A marker segment or a scan of the input: where it starts (its FF byte) and ends.
struct Piece {
    std::uint8_t code;
    std::size_t begin, end;
};

// The pieces from the first marker on: segments by their length, each scan with its coded data
// up to the next marker that is neither a stuffed byte nor a restart marker. Stops at anything
// it cannot read as a marker.
std::vector<Piece> piecesOf(const Bytes &file)
{
    std::vector<Piece> pieces;
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const std::uint8_t code = file[at + 1];
        if (code == 0xD9 || code == 0xFF || code == 0x00)
            break;
        std::size_t end = at + 2 + (std::size_t(file[at + 2]) << 8 | file[at + 3]);
        if (end > file.size())
            break;
        if (code == 0xDA) {
            while (end + 1 < file.size()
                && !(file[end] == 0xFF && file[end + 1] != 0
                    && (file[end + 1] < 0xD0 || file[end + 1] > 0xD7)))
                ++end;
        }
        pieces.push_back({ code, at, end });
        at = end;
    }
    return pieces;
}

std::size_t pick(std::minstd_rand &random, std::size_t count)
{
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
}

// Inserts copies of piece at its place, as many as fit in maxSize (at most copies).
void repeat(Bytes &file, const Piece &piece, std::size_t copies, std::size_t maxSize)
{
    const Bytes one(
        file.begin() + std::ptrdiff_t(piece.begin), file.begin() + std::ptrdiff_t(piece.end));
    if (one.empty() || file.size() >= maxSize)
        return;
    copies = std::min(copies, (maxSize - file.size()) / one.size());
    Bytes inserted;
    inserted.reserve(copies * one.size());
    for (std::size_t i = 0; i < copies; ++i)
        inserted.insert(inserted.end(), one.begin(), one.end());
    file.insert(file.begin() + std::ptrdiff_t(piece.end), inserted.begin(), inserted.end());
}

// The structural mutations; false when the input has no piece of the kind needed.
bool mutateStructure(Bytes &file, std::size_t maxSize, std::minstd_rand &random)
{
    const std::vector<Piece> pieces = piecesOf(file);
    if (pieces.empty())
        return false;
    static const std::size_t manyCopies[] = { 2, 10, 40, 200, 1000, 5000 };
    const std::size_t copies = manyCopies[pick(random, std::size(manyCopies))];
    std::vector<Piece> chosen;
    switch (pick(random, 5)) {
    case 0: { // many application segments or comments
        const std::uint8_t code
            = pick(random, 4) == 0 ? 0xFE : std::uint8_t(0xE0 + pick(random, 16));
        const std::size_t length = pick(random, 3) == 0 ? 2 + pick(random, 64) : 2;
        Bytes segment { 0xFF, code, std::uint8_t(length >> 8), std::uint8_t(length) };
        segment.resize(length + 2, std::uint8_t(random()));
        const Piece &after = pieces[pick(random, pieces.size())];
        file.insert(file.begin() + std::ptrdiff_t(after.end), segment.begin(), segment.end());
        repeat(file, { code, after.end, after.end + segment.size() }, copies, maxSize);
        return true;
    }
    case 1: // a segment or scan repeated
        repeat(file, pieces[pick(random, pieces.size())], copies, maxSize);
        return true;
    case 2: // scan headers repeated without their data
        for (const Piece &piece : pieces)
            if (piece.code == 0xDA)
                chosen.push_back(piece);
        if (chosen.empty())
            return false;
        {
            Piece header = chosen[pick(random, chosen.size())];
            header.end = header.begin + 2
                + (std::size_t(file[header.begin + 2]) << 8 | file[header.begin + 3]);
            repeat(file, header, copies, maxSize);
        }
        return true;
    case 3: { // a declared size of every magnitude
        for (const Piece &piece : pieces)
            if (isFrameCode(piece.code) && piece.end - piece.begin >= 9)
                chosen.push_back(piece);
        if (chosen.empty())
            return false;
        static const unsigned sides[] = { 0, 1, 8, 255, 1000, 4096, 16000, 65500, 65535 };
        const std::size_t at = chosen[pick(random, chosen.size())].begin;
        for (const std::size_t field : { 5, 7 }) {
            const unsigned side = pick(random, 3) == 0 ? unsigned(random() & 0xFFFF)
                                                       : sides[pick(random, std::size(sides))];
            file[at + field] = std::uint8_t(side >> 8);
            file[at + field + 1] = std::uint8_t(side);
        }
        return true;
    }
    default: { // cut right after a piece, as a transfer that broke off
        const Piece &piece = pieces[pick(random, pieces.size())];
        file.resize(piece.end);
        return true;
    }
    }
}

} // namespace

// One in four mutations changes the file's structure, the rest are libFuzzer's own.
extern "C" std::size_t LLVMFuzzerCustomMutator(
    std::uint8_t *data, std::size_t size, std::size_t maxSize, unsigned int seed)
{
    std::minstd_rand random(seed);
    if (size >= 4 && maxSize >= size && random() % 4 == 0) {
        Bytes file(data, data + size);
        if (mutateStructure(file, maxSize, random) && file.size() <= maxSize) {
            std::copy(file.begin(), file.end(), data);
            return file.size();
        }
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const bool refusedEarly = refusedAtStart(data, size);
    // The working image outlives one input, as the window's does across a folder.
    static image::TBitmap picture;
    try {
        const std::vector<std::uint8_t> file(data, data + size);
        imageio::carriesEnhancementRecord(file);
        imageio::TJPEGImage jpeg;
        jpeg.LoadFromBytes(file);
        // The early checks only spare reading a file that the whole file's checks refuse too.
        if (refusedEarly) {
            std::fprintf(stderr, "the start was refused, the whole file accepted\n");
            std::abort();
        }
        if (std::uint64_t(jpeg.DeclaredWidth()) * std::uint64_t(jpeg.DeclaredHeight())
            > mostDecodedPixels)
            return 0;
        jpeg.RecordEnhancement = true;
        run::enhanceLoadedPhoto(jpeg, picture);
    } catch (const core::Error &) {
        // The documented outcome for a file that is not a usable photo.
    }
    // Anything else (std::bad_alloc, a logic_error) escapes and libFuzzer reports it.
    return 0;
}
