// Every input kept from fuzzing goes once more through the per-photo sequence. Each must end as
// it ended when it was kept and its fault fixed: in a written photo or in the error named here.
// An input without an entry must at least end in a photo or one of our errors, never a crash,
// a foreign exception or a sanitizer report.
#include "run/enhance_photo.h"

#include "core/error.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <map>

using testing_support::namesIn;
using testing_support::TempFolder;

namespace {

const std::map<std::string, std::string> expectedErrors = {
    { "cut_in_first_scan.jpg", "" }, // decodes at full size from its first scan
    { "many_scans.jpg", "JPEG error #14" }, // run-away scans end at the work budget
    { "many_segments.jpg", "" },
    { "padded_bomb.jpg", "JPEG error #40" }, // its comments carry no picture data
    { "padded_progressive_bomb.jpg", "JPEG error #40" },
    { "size_bomb.jpg", "JPEG error #40" }, // far more pixels declared than bytes could code
    { "with_exif_thumbnail.jpg", "" },
    { "work_bomb.jpg", "JPEG error #40" },
};

TEST(FuzzRegressions, EachKeptInputEndsAsWhenItWasKept)
{
    const std::string folder = LUMIVOR_FUZZ_REGRESSIONS;
    const TempFolder output;
    run::TWorkingImages images; // reused, as across a folder run
    int replayed = 0;
    for (const std::string &name : namesIn(folder)) {
        if (name == "README.md")
            continue;
        ++replayed;
        std::string error;
        try {
            run::EnhancePhoto(images, folder + "/" + name, output.file(name));
        } catch (const core::Error &ours) {
            error = ours.what();
        } catch (const std::exception &other) {
            ADD_FAILURE() << name << ": not one of our errors: " << other.what();
            continue;
        }
        const auto expected = expectedErrors.find(name);
        if (expected != expectedErrors.end()) {
            EXPECT_EQ(error, expected->second) << name;
        }
    }
    EXPECT_GE(replayed, int(expectedErrors.size()));
}

} // namespace
