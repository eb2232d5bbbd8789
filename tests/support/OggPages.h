#pragma once

// Ogg files as damaged copies and careless muxers leave them.

#include <cstdint>
#include <string>

namespace tindrel::test {

// The Ogg file `ogg` with its last page's granule position set to `granule` (the page's
// checksum made to match), so that it claims a length its audio does not have.
std::string withLastGranulePosition(std::string ogg, uint64_t granule);

} // namespace tindrel::test
