#include "chart_series.hpp"

#include <fmt/format.h>

#include <algorithm>

#include "lab/report/text_cells.hpp"

namespace velk_lab {

namespace {

// The palette of Okabe and Ito, less its yellow, which fades on white. The markers cycle with
// another period, so that no two of the first 56 series look alike, and each differs in shape
// from its neighbours for readers who see no colour at all.
constexpr std::array<std::string_view, 7> colours{"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                                  "#E69F00", "#56B4E9", "#000000"};
constexpr std::array<marker_style, 8> markers{{{shape::circle, false},
                                               {shape::square, false},
                                               {shape::triangle, false},
                                               {shape::diamond, false},
                                               {shape::triangle_down, false},
                                               {shape::circle, true},
                                               {shape::square, true},
                                               {shape::triangle, true}}};

std::string series_sample(const look& style, bool dashed) {
  return sample_line(style.colour, dashed, 2) +
         marker_at(style.marker, style.colour, sample_width / 2, 0, "");
}

}  // namespace

series_key key_of(const row& r) { return {r.method}; }

std::string name_of(const series_key& key) { return std::string(key.method); }

std::vector<series> series_of(std::span<const row> rows) {
  std::vector<series> all;
  for (const row& r : rows) {
    const series_key key = key_of(r);
    auto at = std::find_if(all.begin(), all.end(), [&](const series& s) { return s.key == key; });
    if (at == all.end()) {
      const std::size_t index = all.size();
      all.push_back(
          {key, {colours[index % colours.size()], markers[index % markers.size()]}, r.counted, {}});
      at = all.end() - 1;
    }
    at->halves[r.which == half::successful ? 0 : 1].push_back(&r);
  }
  for (series& s : all) {
    for (std::vector<const row*>& h : s.halves) {
      std::stable_sort(h.begin(), h.end(),
                       [](const row* a, const row* b) { return a->size < b->size; });
    }
  }
  return all;
}

double list_size(const row& r) { return r.size; }
double measured_mean(const row& r) { return r.mean_comparisons(); }
double expected_mean(const row& r) { return r.mean_expected_comparisons(); }
double median_time(const row& r) { return r.wall.median; }
double least_time(const row& r) { return r.wall.min; }
double greatest_time(const row& r) { return r.wall.max; }
double layout_time(const row& r) { return r.layout_ns.value_or(0.0); }

std::vector<double> values_of(const std::vector<series>& all,
                              std::initializer_list<row_value> taken) {
  std::vector<double> values;
  for (const series& s : all) {
    for (const std::vector<const row*>& h : s.halves) {
      for (const row* r : h) {
        for (const row_value value : taken) {
          values.push_back(value(*r));
        }
      }
    }
  }
  return values;
}

points points_of(const panel& p, const std::vector<const row*>& rows, row_value value) {
  points at;
  for (const row* r : rows) {
    if (p.shows(value(*r))) {
      at.emplace_back(p.x(r->size), p.y(value(*r)));
    }
  }
  return at;
}

std::string markers_of(const panel& p, const series& s, const std::vector<const row*>& rows,
                       std::string_view shown, row_value value, tooltip_text say) {
  std::string out = fmt::format("<g><title>{}, {}</title>", escaped(name_of(s.key)), shown);
  for (const row* r : rows) {
    if (p.shows(value(*r))) {
      out += marker_at(s.style.marker, s.style.colour, p.x(r->size), p.y(value(*r)), say(s, *r));
    }
  }
  return out + "</g>";
}

std::string shown_name(const series& s) {
  return s.counted ? name_of(s.key) : fmt::format("{} (baseline)", name_of(s.key));
}

std::vector<legend_item> series_items(const std::vector<series>& all) {
  std::vector<legend_item> items;
  items.reserve(all.size());
  for (const series& s : all) {
    items.push_back({series_sample(s.style, !s.counted), shown_name(s)});
  }
  return items;
}

std::string key_marker_sample() { return series_sample({key_colour, markers[0]}, false); }

std::string entries(std::int32_t size) {
  return fmt::format("{} {}", size, size == 1 ? "entry" : "entries");
}

std::string duration_cell(double ns) { return in_time_unit(ns, time_cell); }

std::string span_in_words(const std::vector<const row*>& rows, value_text value) {
  const row& first = *rows.front();
  const row& last = *rows.back();
  if (rows.size() == 1) {
    return fmt::format("{} at {}", value(first), entries(first.size));
  }
  return fmt::format("{} at {} to {} at {}", value(first), entries(first.size), value(last),
                     entries(last.size));
}

std::string series_in_words(const std::vector<series>& all, value_text value) {
  std::string out;
  for (const series& s : all) {
    for (std::size_t side = 0; side < sides.size(); ++side) {
      if (!s.halves[side].empty()) {
        out += fmt::format(" {}, {}: {}.", shown_name(s), half_name(sides[side]),
                           span_in_words(s.halves[side], value));
      }
    }
  }
  return out;
}

std::string axis_span(const axis& a, tick_label label) {
  return fmt::format("from {} to {} on a {} axis", label(a.low), label(a.high),
                     a.logarithmic ? "logarithmic" : "linear");
}

}  // namespace velk_lab
