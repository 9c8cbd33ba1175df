#pragma once

#include "image/bitmap.h"

#include <string>

namespace app {

// Owner of the two working images that every photo reuses: the first holds the photo being
// enhanced, the second is scratch. The main window derives from it; a batch worker holds one.
class TWorkingImages
{
public:
    image::TBitmap &FirstImage() { return m_first; }
    image::TBitmap &SecondImage() { return m_second; }

private:
    image::TBitmap m_second;
    image::TBitmap m_first;
};

// Reads the JPEG file at SourcePath, enhances it (enhance::EnhancePicture) and writes it to
// DestPath at quality 90, progressive exactly when the source had more than one scan. Errors
// pass out unchanged; DestPath is then as it was.
void EnhancePhoto(TWorkingImages &Window, const std::string &SourcePath,
                  const std::string &DestPath);

} // namespace app
