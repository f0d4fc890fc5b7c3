#pragma once
// The SHA-256 digest of a file's bytes, so that a script can tell which file was loaded.
//
// Principles of operation: the whole input is in memory (a data file is read once), so one
// call hashes it: 64-byte blocks through the compression function, then the padding (a 1 bit,
// zeros, the length in bits as 64 bits big-endian). Our own code rather than a crypto library,
// because the loader is also built for Windows with nothing beside it.
//   Sha256Hex  the digest as 64 lowercase hexadecimal digits.

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmar::datafile {

std::string Sha256Hex(const uint8_t* data, size_t size);

}  // namespace velmar::datafile
