#pragma once

#include <QString>

namespace chooser {

// Placeholder until the folder chooser lands: accepts nothing.
inline bool PickFolder(QString &, int, int)
{
    return false;
}

} // namespace chooser
