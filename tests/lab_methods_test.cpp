// The method table as the one source of the methods: a method added through the public
// interface, defined here and nowhere else, appears in --help, in `all`, in every format and on
// the page; and the docs' table of methods lists exactly the methods of the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <span>
#include <string>

#include "lab/cli/options.hpp"
#include "lab/lab.hpp"
#include "lab/measure/runner.hpp"
#include "lab/methods/registry.hpp"
#include "lab/report/reports.hpp"

namespace {

// A linear scan that counts one comparison per key it examines, as sequential search does.
template <class Key>
class linear_scan {
 public:
  explicit linear_scan(std::span<const Key> keys) : keys_(keys) {}
  velk_lab::answer search(Key target, velk_lab::counter& counted) const {
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      ++counted;
      if (keys_[i] == target) {
        return {true, static_cast<std::int64_t>(i) + 1};
      }
    }
    return {false, 0};
  }
  static std::int64_t bound(std::int64_t n) { return n; }

 private:
  std::span<const Key> keys_;
};

velk_lab::command parse(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "velk");
  return velk_lab::parse_command_line(static_cast<int>(arguments.size()), arguments.data());
}

TEST(LabMethods, AMethodAddedAppearsInTheHelpInAllInEveryFormatAndOnThePage) {
  velk_lab::add_method<linear_scan>("linear-scan", "a counted scan of the test's own");
  std::string help = parse({"--help"}).text;
  std::replace(help.begin(), help.end(), '\n', ' ');
  help.erase(
      std::unique(help.begin(), help.end(), [](char a, char b) { return a == ' ' && b == ' '; }),
      help.end());
  EXPECT_NE(help.find("linear-scan (a counted scan of the test's own)"), std::string::npos);
  velk_lab::options chosen =
      parse({"--methods", "all", "--sizes", "10", "--key-bits", "64"}).settings;
  ASSERT_EQ(chosen.measured.methods.back()->name, "linear-scan");
  chosen.measured.methods = {chosen.measured.methods.back()};
  chosen.measured.repetitions = 1;
  chosen.measured.min_time = 1e-4;
  velk_lab::progress silent(false);
  const std::vector<velk_lab::row> rows = velk_lab::measure(chosen.measured, silent).rows;
  ASSERT_EQ(rows.size(), 2U);
  // Its counts are those of a scan: (1 + ... + 10) / 10 over the keys, 10 for every miss.
  EXPECT_EQ(rows[0].expected_comparisons, 55);
  EXPECT_EQ(rows[1].expected_comparisons, 100);
  const velk_lab::run_context context;
  for (const velk_lab::report_format& format : velk_lab::report_formats()) {
    EXPECT_NE(format.write(context, rows).find("linear-scan"), std::string::npos) << format.name;
  }
  EXPECT_NE(velk_lab::html_report(context, rows).find("linear-scan"), std::string::npos);
}

// The names in the first column of docs/methods.md's table of methods.
std::set<std::string> documented_methods() {
  std::ifstream page(VELK_DOCS "/methods.md");
  std::set<std::string> names;
  bool in_table = false;
  for (std::string line; std::getline(page, line);) {
    if (line.rfind("| method |", 0) == 0) {
      in_table = true;
      continue;
    }
    if (in_table && line.rfind('|', 0) != 0) {
      break;
    }
    if (in_table && line.rfind("|---", 0) != 0) {
      const std::string first = line.substr(1, line.find('|', 1) - 1);
      for (std::size_t open = first.find('`'); open != std::string::npos;
           open = first.find('`', first.find('`', open + 1) + 1)) {
        names.insert(first.substr(open + 1, first.find('`', open + 1) - open - 1));
      }
    }
  }
  return names;
}

TEST(LabMethods, TheDocsListExactlyVelksOwnMethods) {
  std::set<std::string> registered;
  for (const velk_lab::method_record& m : velk_lab::all_methods()) {
    if (velk_lab::builtin(m)) {
      registered.insert(m.name);
    }
  }
  EXPECT_EQ(documented_methods(), registered);
}

}  // namespace
