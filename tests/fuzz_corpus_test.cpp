// The fuzz targets' properties in the ordinary test run: every seed of the checked-in corpus
// replayed through them, and the references they compare with checked on known images.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/properties.hpp"
#include "process.hpp"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> seeds(const char* target) {
  std::vector<fs::path> paths;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path(VELK_FUZZ_CORPUS) / target)) {
    if (entry.is_regular_file()) {
      paths.push_back(entry.path());
    }
  }
  return paths;
}

TEST(FuzzCorpus, EveryValueSeedKeepsTheProperty) {
  const std::vector<fs::path> paths = seeds("value");
  ASSERT_GE(paths.size(), 20U);
  for (const fs::path& path : paths) {
    EXPECT_EQ(velk_fuzz::check_value_text(velk_test::contents_of(path)), "") << path.filename();
  }
}

TEST(FuzzCorpus, EveryImagesSeedKeepsTheProperties) {
  const std::vector<fs::path> paths = seeds("images");
  ASSERT_GE(paths.size(), 20U);
  for (const fs::path& path : paths) {
    const std::string bytes = velk_test::contents_of(path);
    EXPECT_EQ(bytes.size(), 12U) << path.filename();
    const std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    EXPECT_EQ(velk_fuzz::check_images_input(input), "") << path.filename();
  }
}

TEST(FuzzReferences, FloatImageFromTheExactExpansion) {
  struct float_case {
    float value;
    const char* image;
  };
  for (const float_case& c : {
           float_case{5.5F, " 5.50000E+00"},
           float_case{0.0F, " 0.00000E+00"},
           float_case{-0.0F, "-0.00000E+00"},
           float_case{13.8F, " 1.38000E+01"},
           float_case{0.1F, " 1.00000E-01"},
           float_case{1234.125F, " 1.23413E+03"},   // a tie rounds up
           float_case{-1234.125F, "-1.23413E+03"},  // and away from zero
           float_case{1234.1249F, " 1.23412E+03"},
           float_case{999999.5F, " 1.00000E+06"},
           float_case{0x1p-149F, " 1.40130E-45"},
           float_case{std::numeric_limits<float>::max(), " 3.40282E+38"},
           float_case{std::numeric_limits<float>::quiet_NaN(), "NaN********"},
           float_case{std::numeric_limits<float>::infinity(), " +Inf*******"},
           float_case{-std::numeric_limits<float>::infinity(), "-Inf*******"},
       }) {
    EXPECT_EQ(velk_fuzz::reference_float_image(c.value), c.image) << c.value;
  }
}

TEST(FuzzReferences, DurationImageFromTheCount) {
  EXPECT_EQ(velk_fuzz::reference_duration_image(0), " 0.000000000");
  EXPECT_EQ(velk_fuzz::reference_duration_image(16'000'000), " 0.016000000");
  EXPECT_EQ(velk_fuzz::reference_duration_image(-10'000'000), "-0.010000000");
  EXPECT_EQ(velk_fuzz::reference_duration_image(1'000'000'000'000), " 1000.000000000");
  EXPECT_EQ(velk_fuzz::reference_duration_image(std::numeric_limits<std::int64_t>::min()),
            "-9223372036.854775808");
}

TEST(FuzzChecks, ACountOutsideTheMillisecondRangeIsReportedNotImaged) {
  EXPECT_NE(velk_fuzz::check_milliseconds_image(velk_fuzz::max_milliseconds + 1), "");
  EXPECT_EQ(velk_fuzz::check_milliseconds_image(-velk_fuzz::max_milliseconds), "");
}

}  // namespace
