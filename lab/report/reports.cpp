#include "reports.hpp"

namespace velk_lab {

std::string report(report_format format, const run_context& context, std::span<const row> rows) {
  switch (format) {
    case report_format::table:
      return table_report(context, rows);
    case report_format::csv:
      return csv_report(context, rows);
    case report_format::json:
      return json_report(context, rows);
    case report_format::markdown:
      return markdown_report(context, rows);
  }
  return table_report(context, rows);
}

}  // namespace velk_lab
