#include "chooser/error_hook.h"

#include "core/error.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace chooser {

namespace {

void printToStandardError(QWidget *)
{
    std::fprintf(stderr, "%s\n", core::wordsFor(std::current_exception()).joined().c_str());
}

ErrorHandler &installedHandler()
{
    static ErrorHandler handler = printToStandardError;
    return handler;
}

} // namespace

ErrorHandler setErrorHandler(ErrorHandler handler)
{
    return std::exchange(installedHandler(), std::move(handler));
}

void handleCurrentError(QWidget *parent)
{
    installedHandler()(parent);
}

} // namespace chooser
