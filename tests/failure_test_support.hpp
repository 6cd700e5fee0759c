// Asserting that an operation raises a given failure, with a handler declared around it.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "frame/failure.hpp"

namespace frame {
inline void PrintTo(failure_kind kind, std::ostream* os) { *os << printed_name(kind); }
}  // namespace frame

// Expects that running the statements raises the failure `kind` (e.g. constraint_error).
#define EXPECT_FAILURE(kind, ...)                                      \
  EXPECT_EQ(::frame::handled([&] { static_cast<void>(__VA_ARGS__); }), \
            std::optional<::frame::failure_kind>(::frame::failure_kind::kind))

// Expects that running the statements raises no failure.
#define EXPECT_NO_FAILURE(...) \
  EXPECT_EQ(::frame::handled([&] { __VA_ARGS__; }), std::optional<::frame::failure_kind>())
