// The velk program as a whole: what it writes where, how it ends, and that others' tools read it.
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "process.hpp"

namespace {

using velk_test::contents_of;
using velk_test::lines_of;
using velk_test::run_process;
using velk_test::stdout_to;

// Arguments that make a run short: one tiny size, a few short repetitions.
std::vector<std::string> quick_run(std::vector<std::string> more) {
  std::vector<std::string> argv{
      VELK, "--sizes", "10", "--methods", "binary1", "--min-time", "0.001", "--repetitions", "3"};
  argv.insert(argv.end(), more.begin(), more.end());
  return argv;
}

std::vector<std::string> names_in(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// A new empty folder, removed with whatever is in it at the end of the test.
class scratch_folder {
 public:
  scratch_folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velk-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
  }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;
  scratch_folder(scratch_folder&&) = delete;
  scratch_folder& operator=(scratch_folder&&) = delete;
  ~scratch_folder() { std::filesystem::remove_all(path_); }
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Every message is checked in lab_test; here, that one reaches standard error alone, as one
// line, with status 2 and nothing measured or written.
TEST(Velk, BadInputIsOneLineOnStandardErrorAndStatus2) {
  struct bad_case {
    std::vector<std::string> argv;
    std::string err;
  };
  const bad_case cases[] = {
      {{VELK, "--sizes", "10,1G", "--output", "never-written.csv"},
       "velk: --sizes: '1G' is not a size (a whole number from 1 to 1073741823, with an "
       "optional k or M)\n"},
      {{VELK, "--verbose"}, "velk: unknown option '--verbose'\n"},
      {{VELK, "--output", "--html"},
       "velk: --output: 1 required FILE missing ('--html' is an option; for a value that starts "
       "with -, write --output=VALUE)\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.argv[1]);
    const auto result = run_process(c.argv);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.exit_status, 2);
  }
  EXPECT_FALSE(std::filesystem::exists("never-written.csv"));
  EXPECT_FALSE(std::filesystem::exists("--html"));
}

// A key file the lab refuses, or an option of the key sets with a value it cannot take: one
// line on standard error that names the option or the file, status 2, and no file written.
TEST(Velk, BadKeysAreRefusedBeforeAnythingIsWritten) {
  const scratch_folder folder;
  const auto path = [&](const char* name) { return (folder.path() / name).string(); };
  const auto write = [&](const char* name, const std::string& bytes) {
    std::ofstream(path(name), std::ios::binary) << bytes;
  };
  // A count of 3 and then 3, 5 and 4: the key at position 3 is smaller than the one before.
  const std::string unordered{"\3\0\0\0\0\0\0\0\3\0\0\0\5\0\0\0\4\0\0\0", 20};
  write("unordered_uint32", unordered);
  write("short_uint64", unordered);  // 12 bytes of keys: not 3 keys of 8 bytes
  write("empty", "");
  write("large.txt", "1\n2\n4294967296\n");  // a 33-bit key
  write("words.txt", "1\nseven\n");
  write("three.txt", "1\n2\n3\n");
  struct bad_case {
    std::vector<std::string> arguments;
    std::string err;
  };
  const bad_case cases[] = {
      {{"--keys", "odd,zipf"},
       "--keys: 'zipf' is not a key set (choose from odd, dense, uniform, normal, lognormal, or "
       "file:PATH)"},
      {{"--keys", "file:" + path("missing")},
       "--keys: file '" + path("missing") + "' cannot be read: No such file or directory"},
      {{"--keys", "file:" + folder.path().string()},
       "--keys: file '" + folder.path().string() + "' cannot be read: Is a directory"},
      {{"--keys", "file:" + path("empty")}, "--keys: file '" + path("empty") + "' is empty"},
      {{"--keys", "file:" + path("short_uint64")},
       "--keys: file '" + path("short_uint64") +
           "' is 20 bytes long, which disagrees with its count of 3 keys (8 + 8 times the count)"},
      {{"--keys", "file:" + path("unordered_uint32")},
       "--keys: file '" + path("unordered_uint32") +
           "' is not in ascending order: the key at position 3 (4) is smaller than the one before "
           "it (5)"},
      {{"--keys", "file:" + path("large.txt")},
       "--keys: file '" + path("large.txt") + "' line 3 is not a 32-bit key: '4294967296'"},
      {{"--keys", "file:" + path("words.txt"), "--key-bits", "64"},
       "--keys: file '" + path("words.txt") + "' line 2 is not a 64-bit key: 'seven'"},
      {{"--keys", "file:" + path("three.txt"), "--sizes", "2,4"},
       "--sizes: '4' is larger than the 3 keys of file '" + path("three.txt") + "'"},
      {{"--key-bits", "16"}, "--key-bits: '16' is not a key width (32 or 64)"},
      {{"--skew", "0"},
       "--skew: '0' is not a positive number (the exponent of a Zipf distribution)"},
      {{"--skew", "-1"},
       "--skew: '-1' is not a positive number (the exponent of a Zipf distribution)"},
      {{"--skew", "abc"},
       "--skew: 'abc' is not a positive number (the exponent of a Zipf distribution)"},
      {{"--keys", "odd,uniform", "--save-keys", path("saved")},
       "--save-keys: '" + path("saved") + "' needs one key set, and --keys gives 2"},
  };
  for (const bad_case& c : cases) {
    std::vector<std::string> argv{VELK, "--methods", "binary1", "--output", path("rows.csv")};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    SCOPED_TRACE(c.err);
    const auto result = run_process(argv);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "velk: " + c.err + "\n");
    EXPECT_EQ(result.exit_status, 2);
  }
  EXPECT_FALSE(std::filesystem::exists(path("rows.csv")));
  EXPECT_FALSE(std::filesystem::exists(path("saved")));
}

// velk_ts's targets go with the keys 1, 3, ..., 2n - 1 of the odd kind and of a file (here
// whole and at size 1, but not as its sample of 3: 1, 3, 7), never with another kind's (dense at
// size 1); the context says which.
TEST(Velk, ContextSaysWhichKeysGetVelkTsTargets) {
  const scratch_folder folder;
  const std::string file = (folder.path() / "odd_uint32").string();
  std::ofstream(file, std::ios::binary)
      << std::string{"\5\0\0\0\0\0\0\0\1\0\0\0\3\0\0\0\5\0\0\0\7\0\0\0\11\0\0\0", 28};
  const auto result =
      run_process({VELK, "--keys", "file:" + file + ",dense,odd", "--sizes", "1,3,5", "--methods",
                   "binary1", "--min-time", "0.001", "--repetitions", "1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const std::vector<std::string> lines = lines_of(result.out);
  ASSERT_GT(lines.size(), 4U);
  EXPECT_EQ(lines[2], "keys odd_uint32: 32-bit keys of the binary file '" + file +
                          "', 5 keys, FNV-1a 2885a8ff1482d7d9; targets as velk_ts draws them at "
                          "sizes 1, 5, elsewhere drawn from seed 0 (none given)");
  EXPECT_EQ(lines[3],
            "keys dense: 32-bit keys, 1, 2, ..., n; targets drawn from seed 0 (none given)");
  EXPECT_EQ(lines[4],
            "keys odd: 32-bit keys, 1, 3, ..., 2n - 1, searched as velk_ts searches "
            "them; targets as velk_ts draws them");
}

TEST(Velk, HelpAndVersion) {
  const auto help = run_process({VELK, "--help"});
  EXPECT_EQ(help.out.rfind("velk measures search methods", 0), 0U);
  EXPECT_NE(help.out.find("Usage: velk [OPTIONS]"), std::string::npos);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.exit_status, 0);
  const auto version = run_process({VELK, "--version"});
  EXPECT_EQ(version.out, "velk " VELK_VERSION "\n");
  EXPECT_EQ(version.exit_status, 0);
}

// The sixteen averages of velk_ts's report, as it prints them ("4.40000E+00").
std::vector<std::string> report_averages() {
  std::vector<std::string> averages;
  for (const std::string& line : lines_of(contents_of(VELK_GOLDEN_REPORT))) {
    const std::string::size_type end = line.find(" comparisons.");
    if (end != std::string::npos) {
      const std::string::size_type start = line.rfind(' ', end - 1) + 1;
      averages.push_back(line.substr(start, end - start));
    }
  }
  return averages;
}

TEST(Velk, DefaultComparisonsAreVelkTsAverages) {
  const auto result =
      run_process({VELK, "--format", "csv", "--min-time", "0.001", "--repetitions", "1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.err, "");  // no progress: standard error is not a terminal
  const std::vector<std::string> lines = lines_of(result.out);
  const std::vector<std::string> averages = report_averages();
  ASSERT_EQ(averages.size(), 16U);
  ASSERT_EQ(lines.size(), 17U);
  for (std::size_t i = 0; i < averages.size(); ++i) {
    // method,keys,key_bits,size,half,searches,comparisons,...
    std::istringstream fields(lines[i + 1]);
    std::string field;
    for (int k = 0; k < 9; ++k) {
      std::getline(fields, field, ',');
    }
    std::array<char, 32> image{};
    std::snprintf(image.data(), image.size(), "%.5E", std::stod(field));
    EXPECT_EQ(image.data(), averages[i]) << lines[i + 1];
  }
}

TEST(Velk, EachFormat) {
  const auto table = run_process(quick_run({}));
  EXPECT_EQ(table.exit_status, 0);
  EXPECT_EQ(table.err, "");
  const std::vector<std::string> table_lines = lines_of(table.out);
  ASSERT_EQ(table_lines.size(), 8U);  // four lines of context, a blank, heading, two rows
  EXPECT_EQ(table_lines[0].rfind("velk " VELK_VERSION " on ", 0), 0U);
  EXPECT_EQ(table_lines[2].rfind("keys odd: 32-bit keys, 1, 3, ..., 2n - 1", 0), 0U);
  EXPECT_EQ(table_lines[5].rfind("method   keys  mode        threads  size  half", 0), 0U);
  EXPECT_EQ(table_lines[6].rfind("binary1  odd   throughput        1    10  successful", 0), 0U);

  const auto csv = run_process(quick_run({"--format", "csv"}));
  const std::vector<std::string> csv_lines = lines_of(csv.out);
  ASSERT_EQ(csv_lines.size(), 3U);
  EXPECT_EQ(
      csv_lines[0].rfind("method,keys,key_bits,mode,threads,size,half,searches,comparisons,", 0),
      0U);
  EXPECT_EQ(csv_lines[2].rfind("binary1,odd,32,throughput,1,10,unsuccessful,10,3.3,2.8,3,", 0), 0U);

  const auto markdown = run_process(quick_run({"--format", "markdown"}));
  const std::vector<std::string> markdown_lines = lines_of(markdown.out);
  ASSERT_EQ(markdown_lines.size(), 4U);
  EXPECT_EQ(markdown_lines[1].rfind("|---|---|---|---:|---:|", 0), 0U);
  EXPECT_EQ(markdown_lines[2].rfind(
                "| binary1 | odd | throughput | 1 | 10 | successful | 10 | 2.3 | 2.5 |", 0),
            0U);

  const auto json = run_process(quick_run({"--format", "json", "--seed", "5"}));
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document.at("context").at("seed"), 5);
  EXPECT_EQ(document.at("context").at("velk_version"), VELK_VERSION);
  EXPECT_EQ(document.at("benchmarks").size(), 2U * (3 + 3));
  for (const auto& result : {csv, markdown, json}) {
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
  }
}

TEST(Velk, ContextSaysWhetherTheLargeListsGotHugePages) {
  // The 4 MB list of a million keys asks for huge pages; what the system gave depends on it, but
  // the context says one of the three, and says nothing where no list was that large.
  const auto large =
      run_process({VELK, "--methods", "binary1", "--sizes", "10,1M", "--searches", "10",
                   "--repetitions", "1", "--min-time", "0.001", "--format", "json"});
  ASSERT_EQ(large.exit_status, 0) << large.err;
  const std::string given = nlohmann::json::parse(large.out).at("context").at("huge_pages");
  EXPECT_TRUE(given == "given" || given == "not given" || given == "unknown") << given;
  std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string modes;
  if (std::getline(setting, modes) && modes.find("[never]") != std::string::npos) {
    EXPECT_EQ(given, "not given");
  }
  const auto small = run_process(quick_run({"--format", "json"}));
  EXPECT_TRUE(nlohmann::json::parse(small.out).at("context").at("huge_pages").is_null());
}

TEST(Velk, GoogleBenchmarksCompareToolReadsTwoRuns) {
  const scratch_folder folder;
  const std::string a = (folder.path() / "a.json").string();
  const std::string b = (folder.path() / "b.json").string();
  for (const std::string& file : {a, b}) {
    const auto run = run_process({VELK, "--methods", "binary1,std-lower-bound", "--sizes",
                                  "10,1000", "--min-time", "0.001", "--repetitions", "3",
                                  "--format", "json", "--output", file});
    ASSERT_EQ(run.exit_status, 0) << run.err;
  }
  const auto compared = run_process({"/usr/bin/python3", VELK_COMPARE_PY, "benchmarks", a, b});
  EXPECT_EQ(compared.exit_status, 0) << compared.out << compared.err;
  for (const char* name : {"binary1/odd/10/successful", "binary1/odd/1000/unsuccessful_median",
                           "std-lower-bound/odd/1000/unsuccessful_stddev", "OVERALL_GEOMEAN"}) {
    EXPECT_NE(compared.out.find(name), std::string::npos) << name << "\n" << compared.out;
  }
}

TEST(Velk, OutputFileIsWrittenWhole) {
  const scratch_folder folder;
  const std::filesystem::path file = folder.path() / "rows.csv";
  std::ofstream(file) << "an older report\n";
  const auto result = run_process(quick_run({"--format", "csv", "--output", file.string()}));
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(lines_of(contents_of(file)).size(), 3U);
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"rows.csv"});
}

// A new file gets the permissions that the umask leaves a new file, not the private ones of the
// file it was written as; a file replaced keeps its own, and its owner where velk may give it.
TEST(Velk, OutputFileTakesTheModeOfANewFileOrOfTheOneItReplaces) {
  const bool root = ::geteuid() == 0;
  struct mode_case {
    const char* umask;
    int old_mode;  // -1: no file there before
    mode_t mode;
    uid_t owner;  // of the old file, and of the new one after
  };
  for (const mode_case& c :
       {mode_case{"000", -1, 0666, ::geteuid()}, mode_case{"027", -1, 0640, ::geteuid()},
        mode_case{"022", 0600, 0600, ::geteuid()}, mode_case{"077", 0664, 0664, ::geteuid()},
        mode_case{"022", 0640, 0640, root ? 65534 : ::geteuid()}}) {
    SCOPED_TRACE(std::string("umask ") + c.umask + " mode " + std::to_string(c.old_mode));
    const scratch_folder folder;
    const std::filesystem::path file = folder.path() / "rows.csv";
    if (c.old_mode >= 0) {
      std::ofstream(file) << "an older report\n";
      ASSERT_EQ(::chmod(file.c_str(), static_cast<mode_t>(c.old_mode)), 0);
      ASSERT_EQ(::chown(file.c_str(), c.owner, static_cast<gid_t>(-1)), 0);
    }
    std::vector<std::string> argv = quick_run({"--format", "csv", "--output", file.string()});
    argv.insert(argv.begin(),
                {"/bin/sh", "-c", std::string("umask ") + c.umask + "; exec \"$@\"", "sh"});
    const auto result = run_process(argv);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777U, c.mode);
    EXPECT_EQ(status.st_uid, c.owner);
    EXPECT_EQ(lines_of(contents_of(file)).size(), 3U);
  }
}

// A close that fails means the last bytes may never have reached the device: the report is not
// written, and the file keeps its old content.
TEST(Velk, AFailedCloseIsAFailedWrite) {
  const scratch_folder folder;
  const std::filesystem::path file = folder.path() / "rows.csv";
  std::ofstream(file) << "an older report\n";
  std::vector<std::string> argv = quick_run({"--format", "csv", "--output", file.string()});
  argv.insert(argv.begin(), {"/usr/bin/env", std::string("LD_PRELOAD=") + VELK_CLOSE_FAILS,
                             "VELK_CLOSE_FAILS_FOR=" + (folder.path() / ".rows.csv.velk-").string(),
                             "ASAN_OPTIONS=verify_asan_link_order=0"});
  const auto result = run_process(argv);
  EXPECT_EQ(result.err, "velk: cannot write '" + file.string() + "': Input/output error\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(contents_of(file), "an older report\n");
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"rows.csv"});
}

TEST(Velk, OutputKeepsLinksAndWritesPipesInPlace) {
  const scratch_folder folder;
  const std::filesystem::path file = folder.path() / "rows.csv";
  const std::filesystem::path link = folder.path() / "latest.csv";
  std::filesystem::create_symlink("rows.csv", link);  // leads to a file not there yet
  for (int run = 0; run < 2; ++run) {                 // then to one that is
    const auto result = run_process(quick_run({"--format", "csv", "--output", link.string()}));
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(lines_of(contents_of(file)).size(), 3U);
  }
  // A pipe cannot be replaced by a file: what reads it gets the report. (The reader gives up
  // after a while, so that a velk that never opens the pipe fails the test instead of hanging.)
  const std::filesystem::path pipe = folder.path() / "pipe";
  const std::filesystem::path received = folder.path() / "received.csv";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string read_while_velk_writes =
      "timeout 20 cat \"$1\" > \"$2\" & \"$3\" --sizes 10 --methods binary1 --min-time 0.001 "
      "--format csv --output \"$1\"; status=$?; wait; exit $status";
  const auto result = run_process(
      {"/bin/sh", "-c", read_while_velk_writes, "sh", pipe.string(), received.string(), VELK});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(std::filesystem::status(pipe).type(), std::filesystem::file_type::fifo);
  EXPECT_EQ(lines_of(contents_of(received)).size(), 3U);
}

// Runs as an ordinary user even when the tests run as root, who may write any file.
std::vector<std::string> unprivileged(std::vector<std::string> argv) {
  if (::geteuid() == 0) {
    argv.insert(argv.begin(),
                {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }
  return argv;
}

TEST(Velk, OutputThatCannotBeWrittenIsBadInputFoundBeforeMeasuring) {
  const scratch_folder folder;
  ASSERT_EQ(::chmod(folder.path().c_str(), 0777), 0);  // the unprivileged user's to write in
  const std::string missing = (folder.path() / "no-such-folder" / "rows.csv").string();
  const std::string itself = folder.path().string();
  const std::string read_only = (folder.path() / "read-only.csv").string();
  std::ofstream(read_only) << "an older report\n";
  ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
  struct unwritable_case {
    std::string option;
    std::string path;
    std::string why;
  };
  for (const unwritable_case& c :
       {unwritable_case{"--output", missing, "No such file or directory"},
        unwritable_case{"--html", missing, "No such file or directory"},
        unwritable_case{"--output", itself, "Is a directory"},
        unwritable_case{"--html", read_only, "Permission denied"}}) {
    SCOPED_TRACE(c.option + " " + c.path);
    // Sizes whose measuring would take minutes: the refusal comes first.
    const auto result = run_process(unprivileged(
        {VELK, "--sizes", "10M", "--methods", "sequential", "--searches", "1M", c.option, c.path}));
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "velk: " + c.option + ": '" + c.path + "' cannot be written: " + c.why + "\n");
    EXPECT_EQ(result.exit_status, 2);
  }
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"read-only.csv"});
  EXPECT_EQ(contents_of(read_only), "an older report\n");
}

// /dev/stdout and its like name standard output, which is written where it is, whatever it is;
// the page comes before the report.
TEST(Velk, StandardOutputByItsNames) {
  for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
    SCOPED_TRACE(name);
    const auto result = run_process(quick_run({"--format", "csv", "--output", name}));
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(lines_of(result.out).size(), 3U);
  }
  const auto both = run_process(quick_run({"--format", "csv", "--html", "/dev/stdout"}));
  EXPECT_EQ(both.exit_status, 0) << both.err;
  EXPECT_EQ(both.out.rfind("<!DOCTYPE html>", 0), 0U);
  const std::size_t page_end = both.out.find("</html>\n");
  ASSERT_NE(page_end, std::string::npos);
  EXPECT_EQ(lines_of(both.out.substr(page_end + 8)).size(), 3U);
}

// Replacing the file that standard output or standard error goes to would lose what is written
// there: the report, or the messages.
TEST(Velk, TheFileOfAStandardStreamIsNotReplaced) {
  const scratch_folder folder;
  const std::string out = (folder.path() / "out.txt").string();
  velk_test::run_options to_file;
  to_file.where = stdout_to::file;
  to_file.file = out;
  const auto page_over_report = run_process(quick_run({"--html", out}), to_file);
  EXPECT_EQ(page_over_report.err, "velk: --html: '" + out +
                                      "' is the file that standard output goes to; replacing it "
                                      "would lose the report\n");
  EXPECT_EQ(page_over_report.exit_status, 2);
  EXPECT_EQ(contents_of(out), "");
  // With the report in its own file, nothing else goes to standard output.
  const auto report_there = run_process(quick_run({"--format", "csv", "--output", out}), to_file);
  EXPECT_EQ(report_there.exit_status, 0) << report_there.err;
  EXPECT_EQ(lines_of(contents_of(out)).size(), 3U);

  const std::string err = (folder.path() / "err.txt").string();
  std::vector<std::string> argv = quick_run({"--html", "/dev/stderr"});
  argv.insert(argv.begin(), {"/bin/sh", "-c", "exec \"$@\" 2>>" + err, "sh"});
  const auto page_over_messages = run_process(argv);
  EXPECT_EQ(page_over_messages.exit_status, 2);
  EXPECT_EQ(contents_of(err),
            "velk: --html: '/dev/stderr' is the file that standard error goes to; replacing it "
            "would lose what is written there\n");
}

// The page goes to its file beside the report in any format, to a file or standard output.
TEST(Velk, HtmlPageBesideTheReport) {
  const scratch_folder folder;
  const std::filesystem::path rows = folder.path() / "rows.csv";
  const std::filesystem::path page = folder.path() / "page.html";
  const auto both = run_process(
      quick_run({"--format", "csv", "--output", rows.string(), "--html", page.string()}));
  EXPECT_EQ(both.exit_status, 0) << both.err;
  EXPECT_EQ(both.out, "");
  EXPECT_EQ(both.err, "");
  EXPECT_EQ(lines_of(contents_of(rows)).size(), 3U);
  const std::string html = contents_of(page);
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0U);
  EXPECT_NE(
      html.find("<tr><td>binary1</td><td>odd</td><td>throughput</td><td class=\"n\">1</td><td "
                "class=\"n\">10</td><td>unsuccessful</td>"),
      std::string::npos);
  EXPECT_EQ(html.substr(html.size() - 8), "</html>\n");

  const auto table = run_process(quick_run({"--html", page.string()}));
  EXPECT_EQ(table.exit_status, 0) << table.err;
  EXPECT_EQ(lines_of(table.out).size(), 8U);
  EXPECT_NE(contents_of(page).find("--html " + page.string()), std::string::npos);
  auto names = names_in(folder.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"page.html", "rows.csv"}));
}

// A page that cannot be written is found out before anything is measured, or, when its file
// outgrows the file-size limit, leaves the other report unchanged too: no file is replaced and
// none is left half written.
TEST(Velk, HtmlPageThatCannotBeWrittenChangesNoFile) {
  const scratch_folder folder;
  const std::string rows = (folder.path() / "rows.csv").string();
  const std::string missing = (folder.path() / "no-such-folder" / "page.html").string();
  const auto early = run_process({VELK, "--sizes", "10M", "--methods", "sequential", "--searches",
                                  "1M", "--output", rows, "--html", missing});
  EXPECT_EQ(early.out, "");
  EXPECT_EQ(early.err,
            "velk: --html: '" + missing + "' cannot be written: No such file or directory\n");
  EXPECT_EQ(early.exit_status, 2);
  EXPECT_TRUE(names_in(folder.path()).empty());

  // A page that a device refuses leaves nothing on standard output for a script to take for the
  // report.
  const auto refused = run_process(quick_run({"--html", "/dev/full"}));
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "velk: cannot write '/dev/full': No space left on device\n");
  EXPECT_EQ(refused.exit_status, 1);

  std::ofstream(rows) << "an older report\n";
  const std::string page = (folder.path() / "page.html").string();
  velk_test::run_options small_files;
  small_files.file_size_limit = 4096;  // the csv report fits, the page does not
  const auto late =
      run_process(quick_run({"--format", "csv", "--output", rows, "--html", page}), small_files);
  EXPECT_EQ(late.out, "");
  EXPECT_EQ(late.err, "velk: cannot write '" + page + "': File too large\n");
  EXPECT_EQ(late.exit_status, 1);
  EXPECT_EQ(contents_of(rows), "an older report\n");
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"rows.csv"});
}

// Interrupts sent at forty moments from the first new file to the end of the run: each ends the
// run by its signal, or comes too late; either way no new file is left beside the reports, and
// each holds its old content or the whole new report.
TEST(Velk, AnInterruptWhileWritingLeavesEveryFileWhole) {
  const scratch_folder folder;
  const std::filesystem::path rows = folder.path() / "rows.json";
  const std::filesystem::path page = folder.path() / "page.html";
  const std::string old_report = "an older report\n";
  constexpr int runs = 40;
  // From 0 to 12 ms, closer together near the start: writing both files takes from a fraction
  // of a millisecond (a file system in memory) to a few (one that syncs to a disk).
  constexpr std::chrono::microseconds step{8};
  int interrupted = 0;
  for (int run = 0; run < runs; ++run) {
    SCOPED_TRACE(run);
    std::ofstream(rows) << old_report;
    std::ofstream(page) << old_report;
    velk_test::run_options options;
    options.signal = run % 2 == 0 ? SIGINT : SIGTERM;
    options.signal_on_file_in = folder.path().string();
    options.signal_delay = run * run * step;
    const auto result = run_process(
        {VELK, "--methods", "all", "--sizes", "10", "--repetitions", "3", "--min-time", "0.0001",
         "--format", "json", "--output", rows.string(), "--html", page.string()},
        options);
    if (result.signal != 0) {
      EXPECT_EQ(result.signal, options.signal);
      ++interrupted;
    } else {
      EXPECT_EQ(result.exit_status, 0) << result.err;
    }
    auto names = names_in(folder.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"page.html", "rows.json"}));
    const std::string report = contents_of(rows);
    if (report != old_report) {
      // Whole: every method's two rows, each with its three repetitions and three aggregates.
      const std::size_t entries = nlohmann::json::parse(report).at("benchmarks").size();
      EXPECT_EQ(entries % (std::size_t{2} * (3 + 3)), 0U);
      EXPECT_GE(entries, 16U * 2 * (3 + 3));
    }
    const std::string html = contents_of(page);
    if (html != old_report) {
      EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0U);
      EXPECT_EQ(html.substr(html.size() - 8), "</html>\n");
    }
  }
  EXPECT_GT(interrupted, 0);  // some landed while the reports were written
}

// The context's lines say "1 repetition", and an argument with control characters stays on the
// command line's one line, quoted so that a shell reads it back.
TEST(Velk, ContextOfOneRepetitionAndAnArgumentWithALineFeed) {
  const scratch_folder folder;
  const std::string table = (folder.path() / "a\nb\x01'c.txt").string();
  const std::string page = (folder.path() / "page.html").string();
  const auto result =
      run_process({VELK, "--sizes", "10", "--methods", "binary1", "--min-time", "0.001",
                   "--repetitions", "1", "--output", table, "--html", page});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const std::vector<std::string> lines = lines_of(contents_of(table));
  ASSERT_EQ(lines.size(), 8U);
  EXPECT_NE(lines[1].find("; 1 repetition of at least 0.001 s"), std::string::npos) << lines[1];
  const std::string quoted = "$'" + folder.path().string() + R"(/a\nb\x01\'c.txt')";
  EXPECT_EQ(lines[3].substr(lines[3].find(" --output ")),
            " --output " + quoted + " --html " + page);
  EXPECT_NE(contents_of(page).find("1 timed repetition of each row"), std::string::npos);
}

TEST(Velk, StandardOutputThatFails) {
  struct failing_case {
    stdout_to where;
    const char* err;
  };
  for (const failing_case& c :
       {failing_case{stdout_to::dev_full,
                     "velk: cannot write to standard output: No space left on device\n"},
        failing_case{stdout_to::broken_pipe,
                     "velk: cannot write to standard output: Broken pipe\n"},
        failing_case{stdout_to::closed,
                     "velk: cannot write to standard output: Bad file descriptor\n"}}) {
    const auto result = run_process(quick_run({}), c.where);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.exit_status, 1);
  }
}

TEST(Velk, MemoryThatCannotBeHadIsARunTimeFailure) {
#ifdef VELK_SANITIZED
  GTEST_SKIP() << "the sanitizers' own allocator needs more address space than the limit leaves";
#else
  const scratch_folder folder;
  const std::filesystem::path file = folder.path() / "rows.csv";
  struct memory_case {
    const char* arguments;
    const char* need;  // what the line says the run needs, before what it can have
  };
  // The address space is limited to 1 GiB. 500M keys take 1.9 GiB; 100M 64-bit keys take 763
  // MiB, and their breadth-first copy as much again.
  for (const memory_case& c :
       {memory_case{" --sizes 10,500M",
                    "velk: the odd keys at size 500000000 need about 1909.3 MiB"},
        memory_case{" --methods eytzinger --key-bits 64 --sizes 100M",
                    "velk: the odd keys at size 100000000 need about 1528.4 MiB"}}) {
    std::ofstream(file) << "an older report\n";
    const auto result = run_process({"/bin/sh", "-c",
                                     std::string("ulimit -v 1048576 && exec ") + VELK +
                                         c.arguments + " --output " + file.string()});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.substr(0, std::string_view(c.need).size()), c.need) << result.err;
    EXPECT_NE(result.err.find(", more than the "), std::string::npos) << result.err;
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(contents_of(file), "an older report\n");
    EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"rows.csv"});
  }
#endif
}

// Runs `argv` with standard error on a terminal and standard output discarded; gives what
// appeared on the terminal and the exit status.
std::pair<std::string, int> run_on_terminal(const std::vector<std::string>& argv) {
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) {
    throw std::runtime_error("forkpty failed");
  }
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
      args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  std::string seen;
  std::array<char, 4096> chunk{};
  for (;;) {
    const ssize_t got = ::read(terminal, chunk.data(), chunk.size());
    if (got > 0) {
      seen.append(chunk.data(), static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;  // the terminal gives EIO once the child has closed its side
    }
  }
  ::close(terminal);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  return {seen, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(Velk, ProgressOnATerminalIsOneLineClearedAtTheEnd) {
  const auto [seen, status] = run_on_terminal(quick_run({}));
  EXPECT_EQ(status, 0);
  EXPECT_NE(seen.find("size 10"), std::string::npos) << seen;
  EXPECT_EQ(seen.find('\n'), std::string::npos) << seen;
  const std::string cleared = "\r\x1b[K";
  ASSERT_GE(seen.size(), cleared.size());
  EXPECT_EQ(seen.substr(seen.size() - cleared.size()), cleared);
}

}  // namespace
