// lumivor-batch enhancing a folder into itself, ended at a random moment by a signal: every
// photo is then either its original or its whole enhanced version, for the signals that can be
// caught no temporary file is left, and the run repeated enhances each photo exactly once.
// LUMIVOR_KILLS sets the runs per case (default 4) for a longer run by hand.
#include "batch_program.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <random>
#include <thread>

#include <sys/wait.h>

using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::TempFolder;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct KillCase {
    const char *name;
    int signal;
    bool namedTemporaries;
};

void PrintTo(const KillCase &c, std::ostream *os)
{
    *os << c.name;
}

// Large enough that a good share of each run is spent encoding and writing.
constexpr int photoCount = 6;

class KillRun : public ::testing::TestWithParam<KillCase>
{
protected:
    static void SetUpTestSuite()
    {
        s_originals = new TempFolder;
        s_enhanced = new TempFolder;
        for (int i = 0; i < photoCount; ++i)
            testing_support::writeSamplePhoto(s_originals->file(nameOf(i)), 1200 + 40 * i, 800, i);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(testing_support::runBatchProgram(
                      { "--jobs", "2", s_originals->path(), s_enhanced->path() })
                      .exitStatus,
            0);
        s_runTime = std::chrono::steady_clock::now() - start;
    }
    static void TearDownTestSuite()
    {
        delete s_originals;
        delete s_enhanced;
    }

    static std::string nameOf(int i) { return "photo" + std::to_string(i) + ".jpg"; }

    static TempFolder *s_originals;
    static TempFolder *s_enhanced;
    static std::chrono::steady_clock::duration s_runTime;
};

TempFolder *KillRun::s_originals = nullptr;
TempFolder *KillRun::s_enhanced = nullptr;
std::chrono::steady_clock::duration KillRun::s_runTime {};

TEST_P(KillRun, EveryPhotoIsWholeAndNoTemporaryIsLeft)
{
    const KillCase &c = GetParam();
    const char *requested = std::getenv("LUMIVOR_KILLS");
    const int kills = requested ? std::atoi(requested) : 4;
    const unsigned seed = std::random_device {}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> delay(
        0, long(std::chrono::duration_cast<std::chrono::microseconds>(s_runTime).count()));

    std::vector<std::string> names;
    for (int i = 0; i < photoCount; ++i)
        names.push_back(nameOf(i));
    int killed = 0, finished = 0, enhancedPhotos = 0, leftovers = 0;
    for (int run = 0; run < kills; ++run) {
        const TempFolder folder;
        for (const std::string &name : names)
            testing_support::writeBytes(folder.file(name), readBytes(s_originals->file(name)));
        const long wait = delay(random);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", run " + std::to_string(run) + ", "
            + std::to_string(wait) + " us");

        const pid_t child
            = testing_support::startBatchProgram({ "--jobs", "2", folder.path(), folder.path() },
                { c.namedTemporaries ? "LUMIVOR_NAMED_TEMPORARIES" : "", "1" });
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(wait));
        kill(child, c.signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), c.signal);
            ++killed;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            ++finished;
        }

        for (const std::string &name : names) {
            const Bytes now = readBytes(folder.file(name));
            const bool enhanced = now == readBytes(s_enhanced->file(name));
            EXPECT_TRUE(enhanced || now == readBytes(s_originals->file(name))) << name;
            enhancedPhotos += enhanced;
        }
        const int extra = int(namesIn(folder.path()).size()) - photoCount;
        leftovers += extra;
        // SIGKILL cannot be caught: what it leaves is counted, not judged.
        if (c.signal != SIGKILL) {
            EXPECT_EQ(namesIn(folder.path()), names);
        }

        EXPECT_EQ(testing_support::runBatchProgram({ "-q", folder.path(), folder.path() })
                      .exitStatus,
            0);
        for (const std::string &name : names)
            EXPECT_EQ(readBytes(folder.file(name)), readBytes(s_enhanced->file(name)))
                << name << " repeated";
    }
    std::cout << c.name << ": " << kills << " runs, " << killed << " killed, " << finished
              << " finished first, " << enhancedPhotos << " of " << kills * photoCount
              << " photos enhanced, " << leftovers << " temporary files left\n";
    RecordProperty("leftovers", leftovers);
}

INSTANTIATE_TEST_SUITE_P(Signals, KillRun,
    ::testing::Values(KillCase { "Interrupt", SIGINT, false },
        KillCase { "Terminate", SIGTERM, false }, KillCase { "HangUp", SIGHUP, false },
        KillCase { "Kill", SIGKILL, false }, KillCase { "InterruptNamed", SIGINT, true },
        KillCase { "TerminateNamed", SIGTERM, true }, KillCase { "HangUpNamed", SIGHUP, true },
        KillCase { "KillNamed", SIGKILL, true }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
