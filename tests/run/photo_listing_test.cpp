#include "run/photo_listing.h"

#include "core/error.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"
#include "tests/support/without_file_capabilities.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using testing_support::TempFolder;
using testing_support::writeSamplePhoto;

namespace {

using Names = std::vector<std::string>;

TEST(PhotoListing, PlacementBelowTheDestination)
{
    const std::pair<const char *, const char *> cases[] = { { "a.jpg", "a.jpg" },
        { "./2024//b.jpg", "2024/b.jpg" }, { "/srv/x/c.jpg", "srv/x/c.jpg" },
        { "a/./b/../c.jpg", "" }, { "../c.jpg", "" }, { "folder/", "" }, { "folder/.", "" },
        { "..", "" }, { ".hidden.jpg", ".hidden.jpg" }, { "dots..jpg", "dots..jpg" } };
    for (const auto &[listed, placement] : cases)
        EXPECT_EQ(run::PlacementOf(listed), placement) << listed;
}

// What a listing gave: the photos' names and every failure, "path: message".
struct Listed {
    Names photos;
    Names failures;
};

Listed listPhotos(const std::string &source, bool recursive)
{
    Listed listed;
    const std::vector<run::PhotoJob> jobs
        = run::PhotosInFolder(source, source + "/out", recursive, [&](const std::string &path) {
              try {
                  throw;
              } catch (const core::Error &error) {
                  listed.failures.push_back(path + ": " + error.what());
              }
          });
    for (const run::PhotoJob &job : jobs)
        listed.photos.push_back(job.name);
    return listed;
}

// An entry that cannot be looked at is never passed over as if it were not there: a folder that
// may be listed but not searched (whose every name is refused), and a photo's name whose link
// leads where it may not look, are failures naming them; the rest of the tree is still listed,
// and a link that leads nowhere is simply no photo.
TEST(PhotoListing, EntriesThatCannotBeLookedAtAreFailuresNamingThem)
{
    const testing_support::WithoutFileCapabilities asUser;
    if (geteuid() == 0 && !asUser.active())
        GTEST_SKIP() << "root looks into any folder, and its capabilities cannot be dropped here";
    const TempFolder top;
    for (const char *folder : { "listable", "sealed", "z" })
        ASSERT_EQ(mkdir(top.file(folder).c_str(), 0755), 0);
    for (const char *photo : { "a.jpg", "listable/b.jpg", "sealed/c.jpg", "z/d.jpg" })
        writeSamplePhoto(top.file(photo));
    ASSERT_EQ(symlink("sealed/c.jpg", top.file("through.jpg").c_str()), 0);
    ASSERT_EQ(symlink("nowhere.jpg", top.file("dangling.jpg").c_str()), 0);
    chmod(top.file("listable").c_str(), 0444);
    chmod(top.file("sealed").c_str(), 0);

    const std::string cannot = ": Cannot open file ";
    const Listed flat = listPhotos(top.path(), false);
    EXPECT_EQ(flat.photos, Names { "a.jpg" });
    EXPECT_EQ(flat.failures, Names { top.file("through.jpg") + cannot + top.file("through.jpg") });

    const Listed walked = listPhotos(top.path(), true);
    EXPECT_EQ(walked.photos, (Names { "a.jpg", "z/d.jpg" }));
    EXPECT_EQ(walked.failures,
        (Names { top.file("through.jpg") + cannot + top.file("through.jpg"),
            top.file("listable") + cannot + top.file("listable"),
            top.file("sealed") + cannot + top.file("sealed") }));

    const Listed inside = listPhotos(top.file("listable"), false);
    EXPECT_EQ(inside.failures, Names { top.file("listable") + cannot + top.file("listable") });
    for (const char *folder : { "listable", "sealed" })
        chmod(top.file(folder).c_str(), 0755);
}

} // namespace
