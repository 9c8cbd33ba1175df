#pragma once

#include "core/error.h"
#include "run/engine.h"

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// Records every call of a run, in order, as text ("count 3", "start 1 a.jpg", "done 1",
// "already 2", "failed 3 c.jpg: JPEG error #52: Not a JPEG file"), and lets a test act on the file system
// when a photo starts or is put in place.
class RecordingObserver : public run::RunObserver
{
public:
    void countKnown(int photoCount) override
    {
        events.push_back("count " + std::to_string(photoCount));
    }
    void photoStarted(const run::PhotoJob &photo, int number) override
    {
        events.push_back("start " + std::to_string(number) + " " + photo.name);
        if (onStart)
            onStart(number);
    }
    void photoEnded(const run::PhotoOutcome &outcome) override
    {
        if (outcome.result == run::PhotoResult::Failed) {
            events.push_back("failed " + std::to_string(outcome.number) + " " + outcome.photo.name
                + ": " + core::wordsFor(outcome.error).joined());
            return;
        }
        if (outcome.result == run::PhotoResult::AlreadyEnhanced) {
            events.push_back("already " + std::to_string(outcome.number));
            return;
        }
        events.push_back("done " + std::to_string(outcome.number));
        if (onEnhanced)
            onEnhanced(outcome.number);
    }

    std::vector<std::string> events;
    std::function<void(int number)> onStart;
    std::function<void(int number)> onEnhanced;
};

} // namespace testing_support
