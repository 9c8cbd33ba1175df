#pragma once

#include "enhance/clip_points.h"
#include "enhance/colour_cast.h"
#include "enhance/smooth_sharpen.h"
#include "enhance/tone_curve.h"
#include "image/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace enhance {

// The fixed sequence on the photo held in `picture`, in place: removes its colour cast,
// stretches its contrast through the tone curve between the 0.1 % clip points, and sharpens it.
void EnhancePicture(image::TBitmap &picture);

// EnhancePicture driven by rows, for a photo that passes from a decoder to an encoder: the
// cast is measured on rows as they arrive, the shifted picture's clip points are found in one
// pass, and the tone curve and the sharpening make finished rows a few at a time through a
// window of toned rows. So the picture is read twice after it has arrived, and the enhanced
// picture is never held whole. One sequence per photo, its steps in this order, each given the
// same picture, unchanged from its arrival until the last finished row has been made:
//  1. measureRows for every row, in order from the top;
//  2. findLevels once;
//  3. finishRows for every row, in order from the top.
// Each rule is its operation's own: the result is that of RemoveColourCast, FindClipPoints,
// ApplyToneCurve and SmoothSharpen run on whole pictures, one after the other.
class RowSequence
{
public:
    // Finished rows are made at most this many at a time, with the toned rows they need.
    static constexpr int bandRows = 16;

    // Measures the colour cast on rows first..first+count-1, which have arrived.
    void measureRows(const image::TBitmap &picture, int first, int count);

    // After the last measured row: chooses the shifts and finds the clip points and the tone
    // table, reading the whole picture once.
    void findLevels(const image::TBitmap &picture);

    // Writes the finished rows first..first+count-1 into out[0..count), picture.rowBytes()
    // bytes each; out may be those rows of the picture itself, as the rows below them are read
    // before they are written. Reads the picture's rows up to first + count.
    void finishRows(const image::TBitmap &picture, std::uint8_t *const *out, int first, int count);

private:
    void toneRow(const image::TBitmap &picture, int y);
    std::uint8_t *tonedRow(std::size_t rowBytes, int y);

    detail::NearGreySums m_sums;
    detail::ChannelShifts m_shifts {};
    bool m_shifting = false;
    ToneTable m_table {};
    detail::PairTable m_pairs;
    detail::Sharpening m_sharpening {};
    // The toned rows that the next finished rows need: row y in slot y % (bandRows + 2).
    std::vector<std::uint8_t> m_toned;
    int m_nextToned = 0;
};

} // namespace enhance
