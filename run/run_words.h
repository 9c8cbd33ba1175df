#pragma once

#include "run/engine.h"

#include <string>
#include <vector>

namespace run {

// The words both programs use for what a run tells besides its errors (core::wordsFor).

// "N already enhanced".
std::string alreadyEnhancedWords(int count);

// How a run that went through its photos ended: "Done", or "Done: 212 enhanced, 40 already
// enhanced" when some photos had been enhanced before.
std::string doneWords(const RunSummary &summary);

// One line for each thing the notes tell, to follow the photo's path: each kind of the codec's
// warnings in libjpeg's words, with "(N times)" when it came more than once, then the missing
// record and what follows from it.
std::vector<std::string> noteLines(const PhotoNotes &notes);

} // namespace run
