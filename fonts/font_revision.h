#pragma once
// The revision of a TrueType font file: the fontRevision field of its
// `head` table, as a signed 32-bit integer (16.16 fixed point taken as a
// plain integer, so revisions order the way the numbers do).
//
// Only the offset table, the table directory and the first 8 bytes of
// `head` are read. The directory is searched in file order and the first
// `head` entry wins; tags compare byte for byte, so "HEAD" does not match.
// Nothing is validated (sfnt version, checksums, lengths).

#include <cstdint>
#include <istream>

namespace tarvish {

// 0 when the file cannot be opened, has no `head` entry, or ends before the
// field is complete (inside the offset table, a directory entry or the
// first 8 bytes of `head`, an offset beyond the end included). 0 is also a
// possible revision; callers only order two results. A null path gives 0.
std::int32_t ReadFontRevision(const char* path);

// The same over a stream positioned anywhere; offsets count from the
// stream's beginning. The stream must be binary (no newline translation).
std::int32_t ReadFontRevision(std::istream& in);

}  // namespace tarvish
