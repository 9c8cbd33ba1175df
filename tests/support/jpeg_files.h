#pragma once

#include "tests/support/temp_folder.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Makes and inspects JPEG files with libjpeg directly, independently of imageio.
namespace testjpeg {

using Bytes = std::vector<std::uint8_t>;

enum class Kind { Colour, Grey, Cmyk, Ycck };
enum class Scans { Baseline, Progressive, SeparateComponents };

struct Segment {
    int code = 0; // marker, e.g. 0xE1 for APP1, 0xFE for COM
    Bytes data;
};

struct Recipe {
    int width = 24, height = 16;
    Kind kind = Kind::Colour;
    Scans scans = Scans::Baseline;
    int quality = 75;
    bool jfif = true; // write a JFIF header with the density below
    int densityUnit = 0, xDensity = 1, yDensity = 1;
    std::vector<Segment> segments; // written right after the codec's own header segments
    std::vector<int> flat; // one value per component for a uniform picture, else a pattern
    // When set, the value of component k at column x, row y (0..255); flat is then ignored.
    std::function<int(int x, int y, int k)> sample;
};
// The recipe for a picture of that size, kind and scans, everything else as it comes.
Recipe recipe(int width, int height, Kind kind, Scans scans);
Bytes makeJpeg(const Recipe &recipe);

// Decodes with Lumivor's settings (float DCT, block smoothing, fancy upsampling) into the given
// libjpeg colour space; the samples row after row.
Bytes referenceDecode(const Bytes &jpeg, int outColorSpace);

struct Header {
    int width = 0, height = 0;
    bool multipleScans = false, progressiveMode = false, sawJfif = false;
    int densityUnit = -1, xDensity = -1, yDensity = -1;
    std::vector<std::vector<int>> quantTables; // the tables present, 64 entries each
};
Header readHeader(const Bytes &jpeg);

// Tables 0 and 1 the codec makes for colour at this quality with baseline forced.
std::vector<std::vector<int>> standardQuantTables(int quality);

// The segments from SOI to the first SOS: code, offset of the FF byte, length with the marker.
struct SegmentPlace {
    int code;
    std::size_t offset, length;
};
std::vector<SegmentPlace> headerSegments(const Bytes &jpeg);

// Files built to exhaust a decoder, made from valid ones.
// jpeg with count segments of the given code and data inserted right after its SOI marker.
Bytes withSegments(const Bytes &jpeg, int code, std::size_t count, const Bytes &data = {});
// jpeg with the frame header declaring width x height instead.
Bytes withDeclaredSize(Bytes jpeg, int width, int height);
// The header of the file made from recipe, declaring width x height, then its first scan header
// `scans` times without any coded data, then the end marker. Sequential files lose their Huffman
// tables too (the codec has the standard ones), making the smallest file that declares the size.
Bytes withoutPictureData(const Recipe &recipe, int width, int height, int scans);
// jpeg padded with comments of about padding bytes in all, half of them right after its SOI
// marker and half right after its first scan header: bytes that no picture comes from.
Bytes paddedWithComments(const Bytes &jpeg, std::size_t padding);

Bytes readFile(const std::string &path);
void writeFile(const std::string &path, const Bytes &bytes);

// A fresh folder under /tmp, removed with everything in it.
class TempFolder : public testing_support::TempFolder
{
public:
    using testing_support::TempFolder::path;
    std::string path(const std::string &name) const { return file(name); }
    // Sorted, hidden ones included.
    std::vector<std::string> names() const { return testing_support::namesIn(path()); }
};

} // namespace testjpeg
