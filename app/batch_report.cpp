#include "app/batch_report.h"

#include "core/error.h"
#include "run/pace.h"
#include "run/run_words.h"

#include <chrono>

namespace app {

namespace {

constexpr const char *programPrefix = "lumivor-batch: ";
// A terminal line is redrawn at most this often, so that thousands of small photos a second
// do not spend their time writing to the terminal.
constexpr double redrawSeconds = 0.1;

double steadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Columns that text takes, counting each UTF-8 character as one.
int columnsOf(const std::string &text)
{
    int columns = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xc0) != 0x80)
            ++columns;
    return columns;
}

// The end of text that fits in columns, cut at a character boundary.
std::string lastColumns(const std::string &text, int columns)
{
    std::size_t start = text.size();
    int taken = 0;
    while (start > 0) {
        std::size_t begin = start - 1;
        while (begin > 0 && (static_cast<unsigned char>(text[begin]) & 0xc0) == 0x80)
            --begin;
        if (taken + 1 > columns)
            break;
        ++taken;
        start = begin;
    }
    return text.substr(start);
}

std::string rateText(double perSecond)
{
    char text[32];
    std::snprintf(text, sizeof text, perSecond < 10 ? "%.1f" : "%.0f", perSecond);
    return text;
}

} // namespace

std::string printableName(const std::string &bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == '\r') {
            text += "\\r";
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(byte));
            text += escaped;
        }
    }
    return text;
}

std::string progressLine(
    int done, int count, const std::string &name, double seconds, int columns, bool middleDot)
{
    const std::string separator = middleDot ? " \xc2\xb7 " : " - ";
    const std::string counter = "[" + std::to_string(done) + "/" + std::to_string(count) + "] ";
    std::string tail;
    if (done > 0 && seconds > 0) {
        const double perSecond = done / seconds;
        tail = separator + rateText(perSecond) + " photos/s" + separator + "ETA "
            + run::formatDuration(run::secondsLeft(done, count, seconds));
    }
    const std::string shown = printableName(name);
    const int room = columns - 1 - columnsOf(counter) - columnsOf(tail);
    if (columnsOf(shown) <= room)
        return counter + shown + tail;
    const std::string ellipsis = middleDot ? "\xe2\x80\xa6" : "...";
    const int kept = room - columnsOf(ellipsis);
    if (kept < 1)
        return lastColumns(counter + shown + tail, columns - 1);
    return counter + ellipsis + lastColumns(shown, kept) + tail;
}

BatchReport::BatchReport(std::FILE *out, Settings settings, std::function<double()> clock)
    : m_out(out)
    , m_settings(settings)
    , m_clock(clock ? std::move(clock) : steadySeconds)
{
    m_start = m_clock();
}

void BatchReport::countKnown(int count)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_count = count;
}

void BatchReport::photoStarted(const std::string &name)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_current = name;
    drawLine(false);
}

void BatchReport::photoFinished(const std::string &name, bool alreadyEnhanced)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    ++m_handled;
    ++(alreadyEnhanced ? m_alreadyEnhanced : m_enhanced);
    if (m_settings.quiet)
        return;
    if (m_settings.terminal) {
        drawLine(m_handled == m_count);
        return;
    }
    write("[" + std::to_string(m_handled) + "/" + std::to_string(m_count) + "] "
        + printableName(name) + (alreadyEnhanced ? " (already enhanced)" : "") + "\n");
}

void BatchReport::photoNoted(const std::string &path, const run::PhotoNotes &notes)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_warnings += int(notes.warnings.kinds.size());
    m_withoutRecord += notes.recordMissing();
    clearLine();
    for (const std::string &line : run::noteLines(notes))
        write(programPrefix + printableName(path) + ": warning: " + line + "\n");
    drawLine(true);
}

void BatchReport::photoFailed(const std::string &path, const std::exception_ptr &error)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    ++m_handled;
    const std::string failure = printableName(path) + ": " + core::wordsFor(error).joined();
    m_failures.push_back(failure);
    clearLine();
    write(programPrefix + failure + "\n");
    drawLine(true);
}

void BatchReport::error(const std::string &path, const std::exception_ptr &error)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    const std::string words = core::wordsFor(error).joined();
    const std::string failure = path.empty() ? words : printableName(path) + ": " + words;
    m_failures.push_back(failure);
    clearLine();
    write(programPrefix + failure + "\n");
}

void BatchReport::finish()
{
    const std::lock_guard<std::mutex> lock(m_lock);
    clearLine();
    if (m_settings.quiet)
        return;
    const double seconds = m_clock() - m_start;
    std::string summary = "Enhanced " + std::to_string(m_enhanced);
    if (m_enhanced != m_count)
        summary += " of " + std::to_string(m_count);
    summary += m_count == 1 ? " photo" : " photos";
    summary += " in " + run::formatDuration(seconds);
    if (m_enhanced > 0 && seconds > 0)
        summary += " (" + rateText(m_enhanced / seconds) + " photos/s)";
    if (m_alreadyEnhanced > 0)
        summary += ", " + run::alreadyEnhancedWords(m_alreadyEnhanced);
    if (m_warnings > 0)
        summary += "; " + std::to_string(m_warnings) + (m_warnings == 1 ? " warning" : " warnings");
    if (m_withoutRecord > 0)
        summary += "; " + std::to_string(m_withoutRecord) + " without record";
    if (m_failures.empty()) {
        write(summary + "\n");
        return;
    }
    summary += "; " + std::to_string(m_failures.size())
        + (m_failures.size() == 1 ? " failure:\n" : " failures:\n");
    for (const std::string &failure : m_failures)
        summary += "  " + failure + "\n";
    write(summary);
}

void BatchReport::write(const std::string &text)
{
    // A closed or full stream must not end the run: the photos matter more than their report.
    std::fwrite(text.data(), 1, text.size(), m_out);
    std::fflush(m_out);
}

void BatchReport::clearLine()
{
    if (m_lineShown)
        write("\r\x1b[K");
    m_lineShown = false;
}

void BatchReport::drawLine(bool force)
{
    if (!m_settings.terminal || m_settings.quiet)
        return;
    const double now = m_clock();
    if (!force && m_lastDraw >= 0 && now - m_lastDraw < redrawSeconds)
        return;
    m_lastDraw = now;
    write("\r"
        + progressLine(
            m_handled, m_count, m_current, now - m_start, m_settings.columns, m_settings.middleDot)
        + "\x1b[K");
    m_lineShown = true;
}

} // namespace app
