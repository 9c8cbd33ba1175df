#include "run/run_words.h"

namespace run {

std::string alreadyEnhancedWords(int count)
{
    return std::to_string(count) + " already enhanced";
}

std::string doneWords(const RunSummary &summary)
{
    if (summary.photosAlreadyEnhanced == 0)
        return "Done";
    return "Done: " + std::to_string(summary.photosDone) + " enhanced, "
        + alreadyEnhancedWords(summary.photosAlreadyEnhanced);
}

std::vector<std::string> noteLines(const PhotoNotes &notes)
{
    std::vector<std::string> lines;
    for (const imageio::JpegWarning &warning : notes.warnings.kinds) {
        lines.push_back(warning.text);
        if (warning.count > 1)
            lines.back() += " (" + std::to_string(warning.count) + " times)";
    }
    if (notes.recordMissing())
        lines.push_back(std::string("enhanced without Lumivor's record, as its XMP packet ")
            + (notes.record == imageio::RecordOutcome::PacketTooLarge
                    ? "has no room for it"
                    : "cannot be read")
            + ": a new run will enhance it again");
    return lines;
}

} // namespace run
