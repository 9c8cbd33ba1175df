#include "bench/codec_floor.h"

#include "imageio/jpeg_image.h"
#include "platform/safe_file_writer.h"

namespace bench {

void codecFloor(const std::string &source, const std::string &dest)
{
    {
        imageio::TJPEGImage jpeg;
        jpeg.LoadFile(source);
        image::TBitmap picture;
        jpeg.CopyToBitmap(picture);
        jpeg.CopyFromBitmap(picture);
        platform::PendingFile file(dest);
        file.write(jpeg.SaveToBytes());
        file.commit();
    }
    // As a photo's end does in EnhancePhoto: no store is kept for the next photo.
    image::releaseSpareStore();
}

} // namespace bench
