#include "run/photo_listing.h"

#include <gtest/gtest.h>

namespace {

TEST(PhotoListing, PlacementBelowTheDestination)
{
    const std::pair<const char *, const char *> cases[] = { { "a.jpg", "a.jpg" },
        { "./2024//b.jpg", "2024/b.jpg" }, { "/srv/x/c.jpg", "srv/x/c.jpg" },
        { "a/./b/../c.jpg", "" }, { "../c.jpg", "" }, { "folder/", "" }, { "folder/.", "" },
        { "..", "" }, { ".hidden.jpg", ".hidden.jpg" }, { "dots..jpg", "dots..jpg" } };
    for (const auto &[listed, placement] : cases)
        EXPECT_EQ(run::PlacementOf(listed), placement) << listed;
}

} // namespace
