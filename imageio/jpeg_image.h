#pragma once

#include "image/bitmap.h"
#include "imageio/enhancement_record.h"
#include "imageio/jpeg_decoder.h"
#include "imageio/jpeg_warnings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace imageio {

// What loading a file may take in memory for its bytes, and how the caller counts them.
struct FileMemory {
    // The most bytes a file may have: a larger one fails with EStreamError once its first bytes
    // have been checked, before the rest is read. 0: no limit but this machine's
    // (platform::fileFitsInMemory), which applies always.
    std::uint64_t limit = 0;
    // Called with the file's size once its first bytes have passed their checks and the size is
    // within the limits, before anything else of the file is allocated or read: may wait until
    // that many bytes fit beside the caller's other work, and may throw to give the file up.
    // From then on the bytes are the caller's to count until the TJPEGImage lets them go
    // (CopyFromBitmap, the next load or its end), also when reading them then fails.
    std::function<void(std::uint64_t bytes)> reserve;
};

// One JPEG file in memory: its encoded bytes and, once needed, the decoded picture.
// Life of one photo: LoadFile, CopyToBitmap, CopyFromBitmap, SaveFile, destroy.
// Every failure throws an core::Error subclass (see imageio/errors.h); after a failure the
// object is fit only to be destroyed.
class TJPEGImage
{
public:
    TJPEGImage();
    ~TJPEGImage();
    TJPEGImage(const TJPEGImage &) = delete;
    TJPEGImage &operator=(const TJPEGImage &) = delete;

    // Reads the whole file and its header; path is a byte string, used as it is. ProgressiveSave
    // becomes whether it has more than one scan; its APP1..APP13 and APP15 segments (an ICC
    // profile only from a colour file, an MPF segment only when its index can be rewritten: see
    // keepMpfIndex) and its comments, also those between and after the scans, up to 1000 segments
    // or 16 MiB, the print size of its JFIF header and whatever follows its picture's end marker
    // are kept for the next save. An empty file loads; it fails later, at CopyToBitmap. The
    // file's first bytes are checked before the rest is read (checkJpegStart), then its size is
    // weighed as memory says; so a large file that is no photo, or too large, is refused without
    // being read.
    void LoadFile(const std::string &path, const FileMemory &memory = {});

    // LoadFile for a file already in memory.
    void LoadFromBytes(std::vector<std::uint8_t> bytes);

    // target becomes a copy of the decoded picture (decoded at most once per load), and
    // Warnings() says what the codec warned about. target is unchanged when decoding fails.
    void CopyToBitmap(image::TBitmap &target);

    // CopyToBitmap that hands the picture's rows to rowsDecoded as they are decoded, a band at a
    // time from the top, while they are still in the processor's cache; a picture decoded
    // before is handed over in one call. rowsDecoded may throw: target is then unchanged.
    void CopyToBitmap(image::TBitmap &target, const RowsDecoded &rowsDecoded);

    // Drops the encoded bytes, keeping what followed the loaded file's picture, and takes a copy
    // of source as the picture to encode.
    void CopyFromBitmap(const image::TBitmap &source);

    // Encodes when no bytes are held (the kept segments follow the JFIF header, which has the
    // loaded file's print size or the codec's default 1 x 1 without unit, each Exif thumbnail
    // made anew from the picture or removed: see rebuildExifThumbnail; after the new picture
    // comes, byte for byte, whatever followed the loaded file's picture, the MPF index rewritten
    // for it: see rewriteMpfIndex), then replaces the file at path safely: the old file stays as
    // it was unless the new one was written completely. An empty picture gives an empty file.
    // Throws EFCreateError, EWriteError, EStreamError or EJPEG.
    void SaveFile(const std::string &path);

    // Encodes when no bytes are held, as SaveFile does, and returns the bytes it would write.
    const std::vector<std::uint8_t> &SaveToBytes();

    // Writes rows first..first+count-1 of the picture to encode into rows[0..count), each
    // width * 3 bytes (blue, green, red).
    using RowFiller = std::function<void(std::uint8_t *const *rows, int first, int count)>;

    // CopyFromBitmap of a width x height picture, then SaveToBytes, for a picture that fill
    // makes a few rows at a time, from the top, as the encoder takes them: it is never held
    // whole. fill may throw: no bytes are held then.
    const std::vector<std::uint8_t> &SaveRowsToBytes(int width, int height, const RowFiller &fill);

    // The picture's size as the loaded file's header declares it (0 x 0 when none was read),
    // known before decoding: what the photo will need in memory can be told from it.
    int DeclaredWidth() const;
    int DeclaredHeight() const;

    // What the codec warned about while decoding the loaded file: whether its data ended early
    // and each kind of warning with its count. Empty until CopyToBitmap decodes and for a file
    // that decodes cleanly; kept until the next load, also after CopyFromBitmap.
    const JpegWarnings &Warnings() const;

    bool ProgressiveSave = false;
    std::uint8_t Quality = 90;
    // Bytes that decoding may count on (see decodeJpeg); 0: this machine's memory budget.
    std::uint64_t MemoryBudget = 0;
    // Whether an encode adds Lumivor's record to the photo's XMP (see enhancement_record.h): a
    // photo that carries it already gets a second entry.
    bool RecordEnhancement = false;

    // What became of the record at the last encode; NotAsked after loading or taking a picture.
    RecordOutcome EnhancementRecord() const;

    // The encoded bytes held now (empty when none); for tests and diagnostics.
    const std::vector<std::uint8_t> &Bytes() const;

private:
    // The decoded picture, decoding the held bytes on first use.
    const image::TBitmap &Decode(const RowsDecoded &rowsDecoded = {});
    // Encodes the picture into the held bytes unless bytes are held already.
    void Encode();
    // Points rows[0..count) at rows first..first+count-1 of the picture to encode.
    using RowsOf = std::function<void(const std::uint8_t **rows, int first, int count)>;
    // Encodes the width x height picture whose rows rowsOf gives into the held bytes.
    void encodeRows(int width, int height, const RowsOf &rowsOf);

    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace imageio
