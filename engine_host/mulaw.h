// The engine core speaks 8-bit G.711 mu-law; everything after it works on
// signed 16-bit linear samples.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quellmar {

// Byte -> linear sample. Built at compile time, so concurrent first use
// needs no guard.
const std::array<int16_t, 256>& MuLawTable();

// One sample per byte through the expansion table, whatever format the core
// claims: every byte it delivers is mu-law.
std::vector<int16_t> DecodeMuLaw(const unsigned char* bytes, size_t count);

}  // namespace Quellmar
