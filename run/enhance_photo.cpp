#include "run/enhance_photo.h"

#include "run/enhance_loaded_photo.h"

#include "core/error.h"
#include "imageio/jpeg_image.h"

#include <new>

namespace run {

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

EnhancedPhoto EnhancePhotoPending(TWorkingImages &Window, const std::string &SourcePath,
    const std::string &DestPath, const BeforeDecoding &beforeDecoding,
    const std::string &DestWithin, std::uint64_t memoryBudget, const BeforeReading &beforeReading)
{
    try {
        const LetPhotoGo letGo(Window);
        imageio::TJPEGImage jpeg;
        // The run's budget holds for the file's bytes as for its picture.
        jpeg.MemoryBudget = memoryBudget;
        imageio::FileMemory fileMemory;
        fileMemory.limit = memoryBudget;
        fileMemory.reserve = beforeReading;
        jpeg.LoadFile(SourcePath, fileMemory);
        if (beforeDecoding)
            beforeDecoding(jpeg.DeclaredWidth(), jpeg.DeclaredHeight(), jpeg.ProgressiveSave);
        jpeg.RecordEnhancement = true;
        const std::vector<std::uint8_t> &bytes = enhanceLoadedPhoto(jpeg, Window.FirstImage());

        platform::PendingFile file(DestPath, DestWithin);
        file.write(bytes);
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
