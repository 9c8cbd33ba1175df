#include "bench/codec_floor.h"

#include "enhance/enhance_picture.h"
#include "imageio/jpeg_image.h"
#include "platform/safe_file_writer.h"

namespace bench {

namespace {

void codeAgain(const std::string &source, const image::TBitmap *encoded, const std::string &dest)
{
    {
        imageio::TJPEGImage jpeg;
        jpeg.LoadFile(source);
        image::TBitmap picture;
        jpeg.CopyToBitmap(picture);
        jpeg.CopyFromBitmap(encoded ? *encoded : picture);
        platform::PendingFile file(dest);
        file.write(jpeg.SaveToBytes());
        file.commit();
    }
    // As a photo's end does in EnhancePhoto: no store is kept for the next photo.
    image::releaseSpareStore();
}

} // namespace

void codecFloor(const std::string &source, const std::string &dest)
{
    codeAgain(source, nullptr, dest);
}

void codecBound(const std::string &source, const image::TBitmap &encoded, const std::string &dest)
{
    codeAgain(source, &encoded, dest);
}

image::TBitmap enhancedPicture(const std::string &source)
{
    imageio::TJPEGImage jpeg;
    jpeg.LoadFile(source);
    image::TBitmap picture;
    jpeg.CopyToBitmap(picture);
    enhance::EnhancePicture(picture);
    return picture;
}

} // namespace bench
