#include "app/enhance_photo.h"

#include "enhance/enhance_picture.h"
#include "imageio/jpeg_image.h"

namespace app {

void EnhancePhoto(TWorkingImages &Window, const std::string &SourcePath,
                  const std::string &DestPath)
{
    image::TBitmap &first = Window.FirstImage();
    image::TBitmap &second = Window.SecondImage();

    // Both images are replaced below; letting the previous photo go first keeps two photos from
    // being held at once while the next one is decoded.
    first = image::TBitmap();
    second = image::TBitmap();

    imageio::TJPEGImage jpeg;
    jpeg.LoadFile(SourcePath);
    jpeg.CopyToBitmap(first);
    enhance::EnhancePicture(first, second);
    jpeg.CopyFromBitmap(first);
    jpeg.SaveFile(DestPath);
}

} // namespace app
