#include "chart_drives.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lab/measure/drive.hpp"
#include "lab/report/chart_panel.hpp"
#include "lab/report/chart_series.hpp"

namespace velk_lab {

namespace {

constexpr std::array<std::string_view, 2> panel_headings{"Successful searches (keys in the list)",
                                                         "Unsuccessful searches (keys not in it)"};

// The drives (mode and threads) of the series, in the order they first appear.
std::vector<drive> drives_in(const std::vector<series>& all) {
  std::vector<drive> drives;
  for (const series& s : all) {
    const drive d{s.key.mode, s.key.threads};
    if (std::find(drives.begin(), drives.end(), d) == drives.end()) {
      drives.push_back(d);
    }
  }
  return drives;
}

// A drive as a row of panels is headed where the chart has several: its mode where the modes
// differ, its threads where they do: "latency, 2 threads".
std::string drive_words(const drive& d, const std::vector<drive>& drives) {
  const auto varies = [&](auto part) {
    return std::any_of(drives.begin(), drives.end(),
                       [&](const drive& other) { return part(other) != part(drives.front()); });
  };
  std::vector<std::string> said;
  if (varies([](const drive& o) { return o.mode; })) {
    said.emplace_back(mode_name(d.mode));
  }
  if (varies([](const drive& o) { return o.threads; })) {
    said.push_back(threads_said(d.threads));
  }
  return fmt::format("{}", fmt::join(said, ", "));
}

// For each series of the legend, the one it lies on in every row of panels, the rows holding
// the same series in the same order; or none.
std::vector<const series*> twins_everywhere(const drive_rows& shown) {
  std::vector<const series*> twins;
  for (std::size_t i = 0; i < shown.legend_series.size(); ++i) {
    const series* twin = nullptr;
    bool everywhere = true;
    for (const drive_row& d : shown.drives) {
      const bool aligned = d.all.size() == shown.legend_series.size() && d.twins[i] != nullptr;
      const std::ptrdiff_t at = aligned ? d.twins[i] - d.all.data() : -1;
      const series* here = at < 0 ? nullptr : &shown.legend_series[static_cast<std::size_t>(at)];
      everywhere = everywhere && here != nullptr && (twin == nullptr || twin == here);
      twin = here;
    }
    twins.push_back(everywhere ? twin : nullptr);
  }
  return twins;
}

// The heading a panel shows: its half, and its drive where the chart has a row for each.
std::string panel_heading(std::size_t side, const drive_row& drive) {
  if (drive.said.empty()) {
    return std::string(panel_headings.at(side));
  }
  return fmt::format("{} searches: {}", side == 0 ? "Successful" : "Unsuccessful", drive.said);
}

}  // namespace

bool wants_log_axis(const std::vector<double>& values, double spread) {
  double least = 0.0;
  double greatest = 0.0;
  for (const double v : values) {
    if (!std::isfinite(v)) {
      continue;
    }
    if (v <= 0.0) {
      return false;
    }
    least = least > 0.0 ? std::min(least, v) : v;
    greatest = std::max(greatest, v);
  }
  return least > 0.0 && greatest > spread * least;
}

bool never(const row& /*unused*/) { return false; }

std::string panels(const std::string& drawings) {
  return "<div class=\"panels\">\n" + drawings + "</div>\n";
}

void add_baseline_key(std::vector<legend_item>& key, const std::vector<series>& all) {
  if (std::any_of(all.begin(), all.end(), [](const series& s) { return !s.counted; })) {
    key.push_back(
        {sample_line(key_colour, true, 2), "baseline: a standard search, counting nothing"});
  }
}

row_test first_drive(std::span<const row> rows) {
  if (rows.empty()) {
    return {};
  }
  const drive_mode mode = rows.front().mode;
  const int threads = rows.front().threads;
  return [=](const row& r) { return r.mode == mode && r.threads == threads; };
}

drive_rows rows_of_drives(std::span<const row> rows, across drawn, const row_test& taken,
                          std::initializer_list<row_value> compared, const series_test& kept) {
  const auto dropped = [&](const series& s) { return kept && !kept(s); };
  const std::vector<series> all = series_of(rows, drawn, taken);
  const std::vector<drive> drives = drives_in(all);
  drive_rows out;
  for (const drive& d : drives) {
    drive_row shown{drive_words(d, drives), {}, {}};
    for (const series& s : all) {
      if (s.key.mode == d.mode && s.key.threads == d.threads) {
        shown.all.push_back(s);
        shown.all.back().style = look_at(shown.all.size() - 1);
      }
    }
    std::erase_if(shown.all, dropped);
    if (!shown.all.empty()) {
      shown.twins = coinciding(shown.all, compared);
      out.drives.push_back(std::move(shown));
    }
  }
  if (out.drives.empty()) {
    return out;
  }
  const drive first = drives.front();
  out.legend_series = series_of(rows, drawn, [&](const row& r) {
    return (!taken || taken(r)) && r.mode == first.mode &&
           (drawn == across::threads || r.threads == first.threads);
  });
  std::erase_if(out.legend_series, dropped);
  out.legend_twins = twins_everywhere(out);
  return out;
}

std::string half_panels(const chart_words& words, const drive_rows& shown, const panel_body& body,
                        const value_text& value, const std::vector<legend_item>& key,
                        const value_text& where) {
  const std::size_t count = sides.size() * shown.drives.size();
  std::string out;
  for (const drive_row& d : shown.drives) {
    std::string id_part = d.said;
    std::erase(id_part, ',');
    std::replace(id_part.begin(), id_part.end(), ' ', '-');
    const std::string drive_said = d.said.empty() ? "" : ", " + d.said;
    std::string drawings;
    for (std::size_t side = 0; side < sides.size(); ++side) {
      const std::string_view which = half_name(sides.at(side));
      drawings +=
          panel_svg(fmt::format("{}-{}{}{}", words.id, id_part, id_part.empty() ? "" : "-", which),
                    fmt::format("{}: {} searches{}", words.title, which, drive_said),
                    fmt::format("{}{}: one of {} panels with the same axes. {} {}{}{}",
                                panel_headings.at(side), drive_said, count, words.axes, words.marks,
                                series_in_words(d.all, side, value, where),
                                twins_in_words(d.all, d.twins)),
                    body(side, d, panel_heading(side, d))) +
          "\n";
    }
    out += panels(drawings);
  }
  return out + legend(series_items(shown.legend_series, shown.legend_twins), key);
}

}  // namespace velk_lab
