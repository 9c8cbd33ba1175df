#include "enhance/enhance_picture.h"

#include <algorithm>

namespace enhance {

namespace {

constexpr int castTolerance = 20;
constexpr float clipPercent = 0.1f;
constexpr int outLow = 0;
constexpr int outMid = 127;
constexpr int outHigh = 255;
constexpr bool sharpen = true;
constexpr int sharpenThreshold = 7;
constexpr int sharpenAmount = 2;

constexpr int tonedSlots = RowSequence::bandRows + 2;

std::size_t pixelCount(const image::TBitmap &picture)
{
    return std::size_t(picture.Width()) * std::size_t(picture.Height());
}

} // namespace

void RowSequence::measureRows(const image::TBitmap &picture, int first, int count)
{
    if (count <= 0 || picture.Empty())
        return;
    detail::measureNearGreyFast(picture.ScanLine(first),
        std::size_t(picture.Width()) * std::size_t(count), castTolerance, m_sums);
}

void RowSequence::findLevels(const image::TBitmap &picture)
{
    // Without a near-grey pixel there is nothing to measure the cast on.
    if (m_sums.count > 0)
        m_shifts = detail::castShifts(m_sums);
    m_shifting = !detail::shiftsNothing(m_shifts);

    // The clip points are measured on the picture as the shifts leave it, which is never
    // stored: the counting shifts each pixel as it reads it.
    const std::size_t total = pixelCount(picture);
    const detail::IndexShifts indexShifts { detail::LevelShift::of(m_shifts.shift[2]),
        detail::LevelShift::of(m_shifts.shift[0]) };
    detail::ClipPointCounter counter(std::int64_t(total), clipPercent, indexShifts);
    counter.count(picture.Bits(), total);
    const int low = counter.lowPoint();
    const int high = counter.highPoint();
    m_table = BuildToneTable(low, (low + high) / 2, high, outLow, outMid, outHigh);
    m_pairs = detail::pairTable(m_table);
    m_sharpening = detail::clampedSharpening(sharpen, sharpenThreshold, sharpenAmount);
    m_toned.assign(std::size_t(tonedSlots) * picture.rowBytes(), 0);
    m_nextToned = 0;
}

void RowSequence::finishRows(
    const image::TBitmap &picture, std::uint8_t *const *out, int first, int count)
{
    const int height = picture.Height();
    const std::size_t rowBytes = picture.rowBytes();
    while (count > 0) {
        const int rows = std::min(count, bandRows);
        // The filter reads the toned rows first - 1 .. first + rows, those beyond the picture's
        // edges repeating its edge rows. A row is toned once, when first needed; the slots
        // hold bandRows + 2 rows, so none of these has been overwritten by a later one.
        for (const int last = std::min(first + rows, height - 1); m_nextToned <= last;
             ++m_nextToned)
            toneRow(picture, m_nextToned);
        const std::uint8_t *in[bandRows + 2];
        for (int k = 0; k < rows + 2; ++k)
            in[k] = tonedRow(rowBytes, std::clamp(first - 1 + k, 0, height - 1));
        detail::smoothSharpenRows(out, in, rowBytes, std::size_t(rows), m_sharpening);
        out += rows;
        first += rows;
        count -= rows;
    }
}

void RowSequence::toneRow(const image::TBitmap &picture, int y)
{
    std::uint8_t *toned = tonedRow(picture.rowBytes(), y);
    const std::uint8_t *from = picture.ScanLine(y);
    if (m_shifting) {
        detail::shiftPixelsFast(from, toned, std::size_t(picture.Width()), m_shifts);
        from = toned;
    }
    detail::mapBytesFast(m_table, m_pairs, from, toned, picture.rowBytes());
}

std::uint8_t *RowSequence::tonedRow(std::size_t rowBytes, int y)
{
    return m_toned.data() + std::size_t(y % tonedSlots) * rowBytes;
}

void EnhancePicture(image::TBitmap &picture)
{
    if (picture.Empty())
        return;
    // Detached first: the finished rows go back into the picture's own store.
    std::uint8_t *bits = picture.Bits();
    const std::size_t rowBytes = picture.rowBytes();
    const int height = picture.Height();
    RowSequence sequence;
    sequence.measureRows(picture, 0, height);
    sequence.findLevels(picture);
    for (int first = 0; first < height; first += RowSequence::bandRows) {
        const int count = std::min(RowSequence::bandRows, height - first);
        std::uint8_t *out[RowSequence::bandRows];
        for (int k = 0; k < count; ++k)
            out[k] = bits + std::size_t(first + k) * rowBytes;
        sequence.finishRows(picture, out, first, count);
    }
}

} // namespace enhance
