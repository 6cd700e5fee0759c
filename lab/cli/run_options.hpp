// The options that say how the methods are run: --batch and --epsilon, which the methods are
// told, and how the searches are driven.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velk_lab {

// --batch: the targets a batch form searches at once, 1 to most_batch.
std::size_t batch_of(std::string_view text);

// --epsilon: the largest error of a learned model's position, 1 to most_epsilon.
std::int64_t epsilon_of(std::string_view text);

inline constexpr std::int64_t most_epsilon = std::int64_t{1} << 20;

}  // namespace velk_lab
