#include "imageio/file_tail.h"

#include <utility>

namespace imageio {

void FileTail::heldIn(std::size_t pictureEnd, std::optional<MpfIndex> mpf)
{
    m_pictureEnd = pictureEnd;
    std::vector<std::uint8_t>().swap(m_bytes);
    m_mpf = std::move(mpf);
}

void FileTail::takeFrom(std::vector<std::uint8_t> &bytes)
{
    const std::size_t pictureEnd = m_pictureEnd ? *m_pictureEnd : bytes.size();
    if (pictureEnd >= bytes.size()) {
        m_pictureEnd.reset();
        std::vector<std::uint8_t>().swap(bytes);
        return;
    }
    // A tail that is most of the file moves to the front of the file's own block instead of into
    // a new one: the bytes held never come to more than one and a half times the file.
    if (bytes.size() - pictureEnd >= pictureEnd) {
        bytes.erase(bytes.begin(), bytes.begin() + std::ptrdiff_t(pictureEnd));
        m_bytes.swap(bytes);
    } else {
        m_bytes.assign(bytes.begin() + std::ptrdiff_t(pictureEnd), bytes.end());
    }
    m_pictureEnd.reset();
    std::vector<std::uint8_t>().swap(bytes);
}

void FileTail::appendTo(std::vector<std::uint8_t> &encoded)
{
    if (encoded.empty())
        return;
    if (m_mpf)
        rewriteMpfIndex(encoded, *m_mpf);
    const std::size_t mainSize = encoded.size();
    // Where the tail's block has room, the new picture goes in front of the tail there, which
    // spares a block the size of both.
    if (m_bytes.capacity() - m_bytes.size() >= mainSize) {
        m_bytes.insert(m_bytes.begin(), encoded.begin(), encoded.end());
        encoded.swap(m_bytes);
    } else {
        encoded.insert(encoded.end(), m_bytes.begin(), m_bytes.end());
    }
    std::vector<std::uint8_t>().swap(m_bytes);
    m_pictureEnd = mainSize;
}

} // namespace imageio
