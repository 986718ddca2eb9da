#pragma once
// The two flag pictures of the language page, as JPEG files built into the program.
#include <cstdint>
#include <vector>

const std::vector<std::uint8_t>& CzechFlagJpeg();
const std::vector<std::uint8_t>& UnitedKingdomFlagJpeg();
