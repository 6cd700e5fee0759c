// velk: the search lab. Reads the options, measures, and writes the report whole, or fails
// with one line on standard error: status 2 for bad input, 1 for a failure while running.
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
#include <string>
#include <string_view>

#include "frame/frame.hpp"
#include "frame/text_output.hpp"
#include "lab/cli/options.hpp"
#include "lab/errors.hpp"
#include "lab/io/output.hpp"
#include "lab/measure/context.hpp"
#include "lab/measure/progress.hpp"
#include "lab/measure/runner.hpp"
#include "lab/report/reports.hpp"

namespace {

constexpr int success = 0;
constexpr int failure_while_running = 1;
constexpr int bad_input_status = 2;

// With standard error gone there is nowhere left to tell; the exit status still says it.
void write_error_line(std::string_view message) {
  static_cast<void>(frame::write_all(STDERR_FILENO, "velk: " + std::string(message) + "\n"));
}

int run(int argc, char** argv) {
  const velk_lab::command command = velk_lab::parse_command_line(argc, argv);
  if (command.what != velk_lab::command::action::measure) {
    velk_lab::write_standard_output(command.text);
    return success;
  }
  const velk_lab::options& settings = command.settings;
  const bool report_on_standard_output = !settings.output.has_value();
  if (settings.output.has_value()) {
    velk_lab::check_output_file("--output", *settings.output, report_on_standard_output);
  }
  if (settings.html.has_value()) {
    velk_lab::check_output_file("--html", *settings.html, report_on_standard_output);
  }
  const velk_lab::run_context context = velk_lab::gather_context(argc, argv, settings.measured);
  std::string text;
  std::string page;
  {
    velk_lab::progress shown = velk_lab::progress::on_standard_error();
    const std::vector<velk_lab::row> rows = velk_lab::measure(settings.measured, shown);
    text = velk_lab::report(settings.format, context, rows);
    if (settings.html.has_value()) {
      page = velk_lab::html_report(context, rows);
    }
  }
  // Both files are written whole beside their places before either is put in place. The page
  // comes first, and standard output after the devices and pipes: a page that cannot be written
  // leaves nothing of the report where a script would read it, and a failure anywhere before the
  // renames leaves no file changed.
  velk_lab::output_files files;
  if (settings.html.has_value()) {
    files.add(*settings.html, page);
  }
  if (settings.output.has_value()) {
    files.add(*settings.output, text);
  }
  files.write_in_place();
  if (report_on_standard_output) {
    velk_lab::write_standard_output(text);
  }
  files.replace();
  return success;
}

}  // namespace

int main(int argc, char** argv) {
  frame::install_fault_handler();
  velk_lab::remove_new_files_on_interrupt();
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
  static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
  try {
    return run(argc, argv);
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
