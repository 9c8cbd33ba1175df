#include "app/batch_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ArgumentCase {
    std::vector<const char *> args;
    std::string expected; // what the parsed options read as, or "usage error"
};

void PrintTo(const ArgumentCase &argumentCase, std::ostream *out)
{
    for (const char *arg : argumentCase.args)
        *out << '"' << arg << "\" ";
}

// The parsed options in a few words: only what differs from the defaults.
std::string outline(const app::BatchOptions &o)
{
    std::string text;
    const auto add = [&](bool on, const std::string &word) {
        if (on)
            text += (text.empty() ? "" : " ") + word;
    };
    add(o.help, "help");
    add(o.version, "version");
    add(!o.source.empty(), "source=" + o.source);
    add(!o.destination.empty(), "dest=" + o.destination);
    add(!o.filesFrom.empty(), "list=" + o.filesFrom);
    add(o.nullSeparated, "null");
    add(o.jobs != 0, "jobs=" + std::to_string(o.jobs));
    add(o.recursive, "recursive");
    add(o.keepGoing, "keep-going");
    add(o.preserveTimes, "preserve-times");
    add(o.quiet, "quiet");
    add(o.again, "again");
    return text;
}

class BatchOptionsTest : public ::testing::TestWithParam<ArgumentCase>
{
};

TEST_P(BatchOptionsTest, ReadsTheCommandLine)
{
    std::vector<const char *> args = GetParam().args;
    args.insert(args.begin(), "lumivor-batch");
    std::string parsed;
    try {
        parsed = outline(app::parseBatchOptions(int(args.size()), args.data()));
    } catch (const app::UsageError &error) {
        parsed = "usage error";
        EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos) << error.what();
    }
    EXPECT_EQ(parsed, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, BatchOptionsTest,
    ::testing::Values(ArgumentCase { { "in", "out" }, "source=in dest=out" },
        ArgumentCase { { "--jobs", "2", "in", "out" }, "source=in dest=out jobs=2" },
        ArgumentCase { { "in", "out", "--jobs=4" }, "source=in dest=out jobs=4" },
        ArgumentCase { { "-j3", "in", "out" }, "source=in dest=out jobs=3" },
        ArgumentCase { { "-rkpq", "in", "out" },
            "source=in dest=out recursive keep-going preserve-times quiet" },
        ArgumentCase { { "in", "--recursive", "--keep-going", "out", "--preserve-times", "-q" },
            "source=in dest=out recursive keep-going preserve-times quiet" },
        ArgumentCase { { "--files-from", "-", "-0", "out" }, "dest=out list=- null" },
        ArgumentCase {
            { "-k0", "--files-from=list", "out" }, "dest=out list=list null keep-going" },
        ArgumentCase { { "--", "-in", "--out" }, "source=-in dest=--out" },
        ArgumentCase { { "in", "--again", "out" }, "source=in dest=out again" },
        ArgumentCase { { "in", "--help" }, "help" }, ArgumentCase { { "--version" }, "version" },
        ArgumentCase { {}, "usage error" }, ArgumentCase { { "in" }, "usage error" },
        ArgumentCase { { "a", "b", "c" }, "usage error" },
        ArgumentCase { { "--jobs", "0", "a", "b" }, "usage error" },
        ArgumentCase { { "--jobs", "257", "a", "b" }, "usage error" },
        ArgumentCase { { "-jx", "a", "b" }, "usage error" },
        ArgumentCase { { "a", "b", "--jobs" }, "usage error" },
        ArgumentCase { { "--jobs=2x", "a", "b" }, "usage error" },
        ArgumentCase { { "--fast", "a", "b" }, "usage error" },
        ArgumentCase { { "-rx", "a", "b" }, "usage error" },
        ArgumentCase { { "--quiet=yes", "a", "b" }, "usage error" },
        ArgumentCase { { "-r", "--files-from", "list", "out" }, "usage error" },
        ArgumentCase { { "--files-from", "list", "a", "b" }, "usage error" },
        ArgumentCase { { "--files-from=", "out" }, "usage error" },
        ArgumentCase { { "--null", "a", "b" }, "usage error" }));

} // namespace
