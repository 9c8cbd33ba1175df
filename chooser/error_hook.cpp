#include "chooser/error_hook.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace chooser {

namespace {

void printToStandardError(QWidget *)
{
    try {
        throw;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "unknown error\n");
    }
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
