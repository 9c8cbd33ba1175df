#pragma once

#include "imageio/mpf_index.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace imageio {

// What follows a file's main picture (the later pictures of an MPF file, a motion photo's video,
// anything else), carried byte for byte after a new main picture. It is held once: at the end of
// the bytes of a whole file, or on its own while there are none, and it is copied only when
// those bytes are let go and when a new file is put together.
class FileTail
{
public:
    // The bytes held now are a whole file whose main picture ends at pictureEnd; mpf is its
    // kept MP index (see keepMpfIndex), or null.
    void heldIn(std::size_t pictureEnd, std::optional<MpfIndex> mpf);

    // bytes, a whole file, are let go: the tail moves out of them; bytes end up empty. Throws
    // std::bad_alloc when memory runs out, bytes then as they were.
    void takeFrom(std::vector<std::uint8_t> &bytes);

    // Makes encoded, a new main picture, the whole file: the MP index rewritten for it (see
    // rewriteMpfIndex) and the tail after it. An empty encoding, of an empty picture, stays
    // empty. Throws std::bad_alloc when memory runs out.
    void appendTo(std::vector<std::uint8_t> &encoded);

private:
    std::optional<std::size_t> m_pictureEnd; // set while the tail lies in a whole file's bytes
    std::vector<std::uint8_t> m_bytes; // the tail while no whole file holds it
    std::optional<MpfIndex> m_mpf;
};

} // namespace imageio
