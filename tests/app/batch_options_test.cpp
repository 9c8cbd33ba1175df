#include "app/batch_options.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

app::BatchOptions parse(std::vector<const char *> args)
{
    args.insert(args.begin(), "lumivor-batch");
    return app::parseBatchOptions(int(args.size()), args.data());
}

TEST(BatchOptions, ReadsFoldersAndJobsInAnyOrder)
{
    const app::BatchOptions plain = parse({ "in", "out" });
    EXPECT_EQ(plain.source, "in");
    EXPECT_EQ(plain.destination, "out");
    EXPECT_EQ(plain.jobs, 0);
    EXPECT_EQ(parse({ "--jobs", "2", "in", "out" }).jobs, 2);
    EXPECT_EQ(parse({ "in", "out", "--jobs=4" }).jobs, 4);
    EXPECT_TRUE(parse({ "--help" }).help);
}

TEST(BatchOptions, FoldersMayBeginWithADashAfterTheEndOfOptions)
{
    const app::BatchOptions options = parse({ "--", "-in", "--out" });
    EXPECT_EQ(options.source, "-in");
    EXPECT_EQ(options.destination, "--out");
}

TEST(BatchOptions, RefusesWhatItCannotRead)
{
    for (const std::vector<const char *> &args : std::vector<std::vector<const char *>> { {},
             { "in" }, { "a", "b", "c" }, { "--jobs", "0", "a", "b" }, { "--jobs", "x", "a", "b" },
             { "--jobs" }, { "--jobs=2x", "a", "b" }, { "--fast", "a", "b" } })
        EXPECT_THROW(parse(args), std::invalid_argument) << args.size();
}

} // namespace
