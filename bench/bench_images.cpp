#include "bench/bench_images.h"

#include "tests/support/photos.h"

namespace bench {

const image::TBitmap &photo()
{
    static const image::TBitmap picture = testing_support::photoLike(photoWidth, photoHeight);
    return picture;
}

} // namespace bench
