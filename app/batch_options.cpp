#include "app/batch_options.h"

#include "lumivor_version.h"

#include <functional>
#include <vector>

namespace app {

namespace {

constexpr int maxJobs = 256;

int parseJobs(const std::string &text)
{
    std::size_t used = 0;
    int jobs = 0;
    try {
        jobs = std::stoi(text, &used);
    } catch (const std::exception &) {
        used = 0;
    }
    if (text.empty() || used != text.size() || jobs < 1 || jobs > maxJobs)
        throw UsageError("--jobs takes a whole number from 1 to 256, not '" + text + "'");
    return jobs;
}

struct OptionRule {
    char shortName; // '\0': long form only
    const char *longName;
    bool takesValue;
    std::function<void(BatchOptions &, const std::string &)> apply;
};

const std::vector<OptionRule> &optionRules()
{
    static const std::vector<OptionRule> rules {
        { 'h', "help", false, [](BatchOptions &o, const std::string &) { o.help = true; } },
        { '\0', "version", false, [](BatchOptions &o, const std::string &) { o.version = true; } },
        { 'j', "jobs", true,
            [](BatchOptions &o, const std::string &value) { o.jobs = parseJobs(value); } },
        { 'r', "recursive", false,
            [](BatchOptions &o, const std::string &) { o.recursive = true; } },
        { 'k', "keep-going", false,
            [](BatchOptions &o, const std::string &) { o.keepGoing = true; } },
        { 'p', "preserve-times", false,
            [](BatchOptions &o, const std::string &) { o.preserveTimes = true; } },
        { '\0', "again", false, [](BatchOptions &o, const std::string &) { o.again = true; } },
        { 'q', "quiet", false, [](BatchOptions &o, const std::string &) { o.quiet = true; } },
        { '\0', "files-from", true,
            [](BatchOptions &o, const std::string &value) {
                if (value.empty())
                    throw UsageError("--files-from needs a file name, or - for standard input");
                o.filesFrom = value;
            } },
        { '0', "null", false,
            [](BatchOptions &o, const std::string &) { o.nullSeparated = true; } },
    };
    return rules;
}

const OptionRule *findLong(const std::string &name)
{
    for (const OptionRule &rule : optionRules())
        if (name == rule.longName)
            return &rule;
    return nullptr;
}

const OptionRule *findShort(char name)
{
    for (const OptionRule &rule : optionRules())
        if (rule.shortName != '\0' && name == rule.shortName)
            return &rule;
    return nullptr;
}

void checkCombination(const BatchOptions &options, const std::vector<std::string> &operands)
{
    if (options.help || options.version)
        return;
    if (!options.filesFrom.empty()) {
        if (options.recursive)
            throw UsageError("--recursive and --files-from cannot be used together");
        if (operands.size() != 1)
            throw UsageError("with --files-from, give only the destination folder");
        return;
    }
    if (options.nullSeparated)
        throw UsageError("--null applies to the list of --files-from only");
    if (operands.size() != 2)
        throw UsageError("give a source folder and a destination folder");
}

} // namespace

BatchOptions parseBatchOptions(int argc, const char *const *argv)
{
    BatchOptions options;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto valueAfter = [&](const std::string &shown) {
            if (i + 1 == argc)
                throw UsageError("option '" + shown + "' needs a value");
            return std::string(argv[++i]);
        };
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg[1] == '-') {
            const std::size_t equals = arg.find('=');
            const std::string name
                = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
            const OptionRule *rule = findLong(name);
            if (!rule)
                throw UsageError("unknown option '--" + name + "'");
            if (!rule->takesValue && equals != std::string::npos)
                throw UsageError("option '--" + name + "' takes no value");
            if (!rule->takesValue)
                rule->apply(options, std::string());
            else
                rule->apply(options,
                    equals != std::string::npos ? arg.substr(equals + 1) : valueAfter("--" + name));
        } else {
            for (std::size_t at = 1; at < arg.size(); ++at) {
                const OptionRule *rule = findShort(arg[at]);
                if (!rule)
                    throw UsageError("unknown option '-" + std::string(1, arg[at]) + "'");
                if (!rule->takesValue) {
                    rule->apply(options, std::string());
                    continue;
                }
                // A value takes the rest of the argument ("-j2"), or else the next one.
                const std::string rest = arg.substr(at + 1);
                rule->apply(
                    options, rest.empty() ? valueAfter("-" + std::string(1, arg[at])) : rest);
                break;
            }
        }
    }
    checkCombination(options, operands);
    if (options.help || options.version)
        return options;
    if (options.filesFrom.empty()) {
        options.source = operands[0];
        options.destination = operands[1];
    } else {
        options.destination = operands[0];
    }
    return options;
}

const char *batchUsage()
{
    return "Usage: lumivor-batch [OPTION]... SOURCE DEST\n"
           "  or:  lumivor-batch [OPTION]... --files-from LIST DEST\n"
           "\n"
           "Enhances every *.jpg and *.jpeg of the folder SOURCE (the extension in any case)\n"
           "and writes each as a JPEG of quality 90 under the same name into the folder DEST,\n"
           "replacing a file of that name. DEST must exist; it may be SOURCE. The first photo\n"
           "that fails stops the run; the photos written before it stay written. Run again,\n"
           "it goes on where it stopped: a photo is never enhanced twice (see --again), and a\n"
           "photo in DEST already enhanced from its source, and not older, is left as it is.\n"
           "\n"
           "  -r, --recursive       also the photos of every visible subfolder, written under\n"
           "                        the same subfolders of DEST (created as needed); links to\n"
           "                        folders and DEST itself are not entered\n"
           "      --files-from LIST enhance the photos named in the file LIST (- for standard\n"
           "                        input), one per line, instead of a folder; each is read\n"
           "                        as named (relative to the current folder) and written to\n"
           "                        DEST/ followed by that name, without a leading / or ./\n"
           "  -0, --null            the names in LIST end with NUL bytes, as find -print0\n"
           "                        writes them\n"
           "  -k, --keep-going      report a photo that fails, leave it as it was and go on;\n"
           "                        the summary lists every failure\n"
           "  -p, --preserve-times  give each result the modification time of its photo\n"
           "      --again           also enhance photos that Lumivor has enhanced before\n"
           "                        (their XMP history says so), which are otherwise left\n"
           "                        as they are, or copied unchanged into DEST\n"
           "  -j, --jobs N          enhance N photos at a time (default: one per usable\n"
           "                        core); the output is the same\n"
           "  -q, --quiet           print nothing but errors\n"
           "  -h, --help            show this text\n"
           "      --version         show the version number\n"
           "\n"
           "Progress, warnings and errors go to standard error. A photo whose data ends\n"
           "early fails when DEST is SOURCE (it is left as it is); otherwise it is written\n"
           "as far as it could be read, with a warning. Exits with 0 when every photo was\n"
           "enhanced or had been, 1 when one failed or a folder is missing, 2 for a wrong\n"
           "command line.\n";
}

std::string batchVersion()
{
    return std::string("lumivor-batch (Lumivor) ") + lumivorVersion + "\n";
}

} // namespace app
