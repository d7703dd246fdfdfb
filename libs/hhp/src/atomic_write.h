// Writing a finished file in one piece: into a temporary file beside it, renamed over it only
// when complete, so a failure leaves an earlier file untouched.
#pragma once

#include "hhp/diagnostics.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace hhp::detail {

// nullopt when written; otherwise what failed (OutputNotCreated, OutputNotWritten or
// OutputNotReplaced), with nothing left behind.
std::optional<Problem> writeAtomically(const std::filesystem::path& target,
                                       const std::vector<std::uint8_t>& bytes);

} // namespace hhp::detail
