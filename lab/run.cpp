// The lab's whole command line, for velk and for any program that adds methods of its own: reads
// the options, measures, and writes the report whole, or fails with one line on standard error:
// status 2 for bad input, 1 for a failure while running.
//
// It does not run under frame::run, which ends every run with status 0 and reports a failed
// write as a bare failure kind: the lab needs its own statuses, names the file or device that
// failed, and unwinds on failure so that no partial output file is left. From the frame it
// takes the fault handler, so a processor or system fault still ends it with the frame's
// failure report and status 1, and like the frame it ignores SIGPIPE and SIGXFSZ, so that a
// reader that goes away, or a file that outgrows the file-size limit, makes a write fail with a
// message instead of killing the process silently and leaving a partly written file behind. An
// interrupt (SIGINT, SIGTERM, SIGHUP) still ends it at once by that signal, as the shell
// expects, once the new files not yet in place are removed.
#include <unistd.h>

#include <csignal>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "lab/lab.hpp"

#include "frame/frame.hpp"
#include "frame/text_output.hpp"
#include "lab/cli/options.hpp"
#include "lab/errors.hpp"
#include "lab/io/output.hpp"
#include "lab/measure/context.hpp"
#include "lab/measure/counters.hpp"
#include "lab/measure/memory.hpp"
#include "lab/measure/progress.hpp"
#include "lab/measure/runner.hpp"
#include "lab/methods/registry.hpp"
#include "lab/report/reports.hpp"

namespace {

constexpr int success = 0;
constexpr int failure_while_running = 1;
constexpr int bad_input_status = 2;

// With standard error gone there is nowhere left to tell; the exit status still says it.
void write_error_line(std::string_view message) {
  static_cast<void>(frame::write_all(STDERR_FILENO, "velk: " + std::string(message) + "\n"));
}

int run_command_line(int argc, const char* const* argv) {
  velk_lab::check_method_names();
  const velk_lab::command command = velk_lab::parse_command_line(argc, argv);
  if (command.what != velk_lab::command::action::measure) {
    velk_lab::write_standard_output(command.text);
    return success;
  }
  const velk_lab::options& settings = command.settings;
  const bool report_on_standard_output = !settings.output.has_value();
  const std::pair<const char*, const std::optional<std::string>&> outputs[] = {
      {"--output", settings.output},
      {"--html", settings.html},
      {"--save-keys", settings.save_keys}};
  for (const auto& [option, file] : outputs) {
    if (file.has_value()) {
      velk_lab::check_output_file(option, *file, report_on_standard_output);
    }
  }
  velk_lab::check_memory(settings.measured, velk_lab::available_memory());
  if (settings.measured.counters) {
    const velk_lab::counter_set probe(velk_lab::perf_event_source());
    if (const std::optional<std::string> missing = probe.missing_line()) {
      write_error_line(*missing);
    }
  }
  velk_lab::run_context context = velk_lab::gather_context(argc, argv, settings.measured);
  std::string text;
  std::string page;
  std::string keys;
  {
    velk_lab::progress shown = velk_lab::progress::on_standard_error();
    velk_lab::measurement measured = velk_lab::measure(settings.measured, shown);
    for (std::size_t k = 0; k < context.key_sets.size(); ++k) {
      context.key_sets[k].cumulative = std::move(measured.cumulative[k]);
    }
    context.huge_pages = measured.huge_pages;
    text = settings.format->write(context, measured.rows);
    if (settings.html.has_value()) {
      page = velk_lab::html_report(context, measured.rows);
    }
    keys = std::move(measured.saved_keys);
  }
  // The files are written whole beside their places before any is put in place. The page comes
  // first, and standard output after the devices and pipes: a page that cannot be written leaves
  // nothing of the report where a script would read it, and a failure anywhere before the
  // renames leaves no file changed.
  velk_lab::output_files files;
  if (settings.html.has_value()) {
    files.add(*settings.html, page);
  }
  if (settings.output.has_value()) {
    files.add(*settings.output, text);
  }
  if (settings.save_keys.has_value()) {
    files.add(*settings.save_keys, keys);
  }
  files.write_in_place();
  if (report_on_standard_output) {
    velk_lab::write_standard_output(text);
  }
  files.replace();
  return success;
}

}  // namespace

namespace velk_lab {

int run(int argc, const char* const* argv) {
  frame::install_fault_handler();
  remove_new_files_on_interrupt();
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
  static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
  try {
    return run_command_line(argc, argv);
  } catch (const velk_lab::bad_input& refused) {
    write_error_line(refused.what());
    return bad_input_status;
  } catch (const velk_lab::run_failure& failed) {
    write_error_line(failed.what());
    return failure_while_running;
  } catch (const std::bad_alloc&) {
    write_error_line("out of memory");
    return failure_while_running;
  } catch (const std::exception& unforeseen) {
    // Whatever a library throws that the lab has not foreseen is still a failure while running.
    write_error_line(unforeseen.what());
    return failure_while_running;
  }
}

}  // namespace velk_lab
