// Every input kept from fuzzing goes once more through the per-photo sequence: it must end in a
// written photo or one of our errors, never a crash or a sanitizer report.
#include "app/enhance_photo.h"

#include "core/error.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

using testing_support::namesIn;
using testing_support::TempFolder;

namespace {

TEST(FuzzRegressions, EachKeptInputEndsInAPhotoOrAnError)
{
    const std::string folder = LUMIVOR_FUZZ_REGRESSIONS;
    const TempFolder output;
    app::TWorkingImages images; // reused, as across a folder run
    int replayed = 0;
    for (const std::string &name : namesIn(folder)) {
        if (name == "README.md")
            continue;
        ++replayed;
        try {
            app::EnhancePhoto(images, folder + "/" + name, output.file(name));
        } catch (const core::Error &) {
            // the documented outcome for a file that is no usable photo
        } catch (const std::exception &error) {
            ADD_FAILURE() << name << ": not one of our errors: " << error.what();
        }
    }
    if (replayed == 0)
        GTEST_SKIP() << "no input kept yet";
}

} // namespace
