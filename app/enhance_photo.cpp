#include "app/enhance_photo.h"

#include "app/enhance_loaded_photo.h"
#include "core/error.h"
#include "imageio/jpeg_image.h"

#include <new>

namespace app {

namespace {

// Empties the working image and frees the stores kept for reuse when a photo ends, however it
// ends: a run's worker then holds nothing of it while it waits for or reads the next photo, and
// the memory the run counted for this photo is really free again.
class LetPhotoGo
{
public:
    explicit LetPhotoGo(TWorkingImages &images)
        : m_images(images)
    {
    }
    ~LetPhotoGo()
    {
        m_images.FirstImage() = image::TBitmap();
        image::releaseSpareStore();
    }
    LetPhotoGo(const LetPhotoGo &) = delete;
    LetPhotoGo &operator=(const LetPhotoGo &) = delete;

private:
    TWorkingImages &m_images;
};

} // namespace

platform::PendingFile EnhancePhotoPending(TWorkingImages &Window, const std::string &SourcePath,
    const std::string &DestPath, const BeforeDecoding &beforeDecoding,
    const std::string &DestWithin)
{
    try {
        const LetPhotoGo letGo(Window);
        imageio::TJPEGImage jpeg;
        jpeg.LoadFile(SourcePath);
        if (beforeDecoding)
            beforeDecoding(jpeg.DeclaredWidth(), jpeg.DeclaredHeight(), jpeg.ProgressiveSave);
        const std::vector<std::uint8_t> &bytes = enhanceLoadedPhoto(jpeg, Window.FirstImage());

        platform::PendingFile file(DestPath, DestWithin);
        file.write(bytes);
        return file;
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

void EnhancePhoto(
    TWorkingImages &Window, const std::string &SourcePath, const std::string &DestPath)
{
    platform::PendingFile file = EnhancePhotoPending(Window, SourcePath, DestPath);
    try {
        file.commit();
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

} // namespace app
