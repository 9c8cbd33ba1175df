#include "run/enhance_photo.h"

#include "core/error.h"
#include "enhance/enhance_picture.h"
#include "imageio/jpeg_image.h"

#include <new>

namespace run {

namespace {

// Empties the working images and frees the stores kept for reuse when a photo ends, however it
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
        m_images.SecondImage() = image::TBitmap();
        image::releaseSpareStore();
    }
    LetPhotoGo(const LetPhotoGo &) = delete;
    LetPhotoGo &operator=(const LetPhotoGo &) = delete;

private:
    TWorkingImages &m_images;
};

} // namespace

EnhancedPhoto EnhancePhotoPending(TWorkingImages &Window, const std::string &SourcePath,
    const std::string &DestPath, const BeforeDecoding &beforeDecoding,
    const std::string &DestWithin, std::uint64_t memoryBudget, const BeforeReading &beforeReading)
{
    try {
        const LetPhotoGo letGo(Window);
        image::TBitmap &first = Window.FirstImage();
        image::TBitmap &second = Window.SecondImage();

        imageio::TJPEGImage jpeg;
        // The run's budget holds for the file's bytes as for its picture.
        jpeg.MemoryBudget = memoryBudget;
        imageio::FileMemory fileMemory;
        fileMemory.limit = memoryBudget;
        fileMemory.reserve = beforeReading;
        jpeg.LoadFile(SourcePath, fileMemory);
        if (beforeDecoding)
            beforeDecoding(jpeg.DeclaredWidth(), jpeg.DeclaredHeight());
        jpeg.CopyToBitmap(first);
        // The codec object would keep the decoded picture until the enhanced one replaces it;
        // handing it an empty one lets that copy go now (the file's scan kind and segments
        // stay), so that the enhancement holds two pictures at a time instead of three.
        jpeg.CopyFromBitmap(image::TBitmap());
        enhance::EnhancePicture(first, second);
        // The scratch picture is done with before the codec's buffers are taken.
        second = image::TBitmap();
        image::releaseSpareStore();
        jpeg.CopyFromBitmap(first);
        jpeg.RecordEnhancement = true;

        platform::PendingFile file(DestPath, DestWithin);
        file.write(jpeg.SaveToBytes());
        return { std::move(file), { jpeg.Warnings(), jpeg.EnhancementRecord() } };
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

void EnhancePhoto(
    TWorkingImages &Window, const std::string &SourcePath, const std::string &DestPath)
{
    EnhancedPhoto photo = EnhancePhotoPending(Window, SourcePath, DestPath);
    try {
        photo.file.commit();
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

} // namespace run
