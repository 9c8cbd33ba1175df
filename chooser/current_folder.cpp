#include "chooser/current_folder.h"

#include "chooser/path_text.h"
#include "platform/folders.h"

namespace chooser {

CurrentFolder::CurrentFolder(QObject *parent)
    : QObject(parent)
    , m_path(platform::GetCurrentDir())
    , m_text(pathText(m_path))
    , m_volumes(platform::ListVolumes())
{
    rememberOnVolume();
}

void CurrentFolder::enter(const std::string &path)
{
    if (path.empty())
        return;
    std::string target = platform::ExpandFileName(path);
    if (target.size() > 1 && target.back() == '/')
        target.pop_back();
    if (target == m_path)
        return;
    platform::SetCurrentDir(target);
    // The folder is the process's current folder as the system names it (symlinks resolved);
    // the name entered stands in should the system be unable to tell.
    try {
        m_path = platform::GetCurrentDir();
    } catch (const platform::EInOutError &) {
        m_path = target;
    }
    m_text = pathText(m_path);
    rememberOnVolume();
    emit changed();
}

std::string CurrentFolder::volume() const
{
    return platform::VolumeOf(m_path, m_volumes);
}

void CurrentFolder::setVolumes(const std::vector<platform::Volume> &volumes)
{
    m_volumes = volumes;
    rememberOnVolume();
    emit volumesChanged();
}

void CurrentFolder::rememberOnVolume() const
{
    platform::RememberFolderOn(volume(), m_path);
}

} // namespace chooser
