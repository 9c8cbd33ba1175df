#pragma once

#include "run/photo_notes.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace app {

// bytes with every control byte written as \n, \t, \r or \xNN, so that a name can neither
// break a line of output nor send commands to the terminal.
std::string printableName(const std::string &bytes);

// The line that a terminal shows during a run, "[done/count] name · rate · ETA", no wider than
// columns - 1 (the name is shortened from its front to make room). Rate and ETA appear once a
// photo is done; middleDot chooses between "·" and "-" for locales without UTF-8.
std::string progressLine(
    int done, int count, const std::string &name, double seconds, int columns, bool middleDot);

// What lumivor-batch tells its user during and after a run, on one stream (standard error):
// on a terminal one line updated in place, otherwise one line per photo; errors as
// "lumivor-batch: PATH: MESSAGE: REASON" (core::wordsFor) and warnings as
// "lumivor-batch: PATH: warning: TEXT" (run::noteLines); at the end a summary with the counts and
// every failure. Quiet leaves only the errors and warnings. Calls may come from several threads.
class BatchReport
{
public:
    struct Settings {
        bool terminal = false;
        bool quiet = false;
        bool middleDot = false;
        int columns = 80;
    };

    BatchReport(std::FILE *out, Settings settings,
        std::function<double()> clock = std::function<double()>());

    void countKnown(int count);
    void photoStarted(const std::string &name);
    // A photo put in place: enhanced, or left as it was (or copied) as enhanced before.
    void photoFinished(const std::string &name, bool alreadyEnhanced = false);
    // What there is to tell of a photo put in place, read from path: a line for each note.
    void photoNoted(const std::string &path, const run::PhotoNotes &notes);
    // A photo that failed: reported at once and listed again in the summary.
    void photoFailed(const std::string &path, const std::exception_ptr &error);
    // An error that is no photo's (a folder that cannot be listed, a list that cannot be read);
    // an empty path is left out.
    void error(const std::string &path, const std::exception_ptr &error);
    // The summary: photos enhanced, of how many, the time, those already enhanced, the warnings,
    // the photos without record, and every failure.
    void finish();

    int failures() const { return int(m_failures.size()); }

private:
    void write(const std::string &text);
    void clearLine();
    void drawLine(bool force);

    std::FILE *m_out;
    Settings m_settings;
    std::function<double()> m_clock;
    double m_start = 0;
    double m_lastDraw = -1;
    int m_count = 0;
    int m_handled = 0;
    int m_enhanced = 0;
    int m_alreadyEnhanced = 0;
    int m_warnings = 0; // lines of the codec's warnings
    int m_withoutRecord = 0;
    std::string m_current;
    bool m_lineShown = false;
    std::vector<std::string> m_failures;
    std::mutex m_lock;
};

} // namespace app
