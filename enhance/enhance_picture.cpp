#include "enhance/enhance_picture.h"

#include "enhance/clip_points.h"
#include "enhance/colour_cast.h"
#include "enhance/smooth_sharpen.h"
#include "enhance/tone_curve.h"

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

} // namespace

void EnhancePicture(image::TBitmap &first, image::TBitmap &second)
{
    second.Assign(first);
    RemoveColourCast(first, second, castTolerance);

    second.Assign(first);
    int lowPoint = 0;
    int highPoint = 0;
    FindClipPoints(second, lowPoint, highPoint, clipPercent);
    const int midPoint = (lowPoint + highPoint) / 2;
    // The curve maps the same colour-corrected picture the clip points were measured on, so no
    // fresh copy is taken here.
    ApplyToneCurve(first, second, lowPoint, midPoint, highPoint, outLow, outMid, outHigh);

    second.Assign(first);
    SmoothSharpen(first, second, sharpen, sharpenThreshold, sharpenAmount);
}

} // namespace enhance
