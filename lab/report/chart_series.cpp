#include "chart_series.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cmath>

#include "lab/report/text_cells.hpp"

namespace velk_lab {

namespace {

// Eleven colours that stand apart on white and from each other: the palette of Okabe and Ito
// less its yellow, which fades on white, then darker ones for the runs with more series. The
// markers cycle with a period that shares no factor with the colours', so that a colour comes
// back only with another marker (the first 88 series look alike in nothing) and neighbours
// differ in both. Hollow markers are left out: a hollow marker says that a point's
// repetitions spread widely.
constexpr std::array<std::string_view, 11> colours{"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                                   "#E69F00", "#56B4E9", "#000000", "#882255",
                                                   "#999933", "#6A3D9A", "#8C510A"};
constexpr std::array<shape, 8> markers{shape::circle,  shape::square,        shape::triangle,
                                       shape::diamond, shape::triangle_down, shape::plus,
                                       shape::cross,   shape::star};

// Whether `a` and `b` hold rows of the same sizes with equal values of every one of `taken`.
bool same_values(const std::vector<const row*>& a, const std::vector<const row*>& b,
                 std::initializer_list<row_value> taken) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i]->size != b[i]->size) {
      return false;
    }
    for (const row_value& value : taken) {
      const double x = value(*a[i]);
      const double y = value(*b[i]);
      if (x != y && !(std::isnan(x) && std::isnan(y))) {  // neither having a value is alike
        return false;
      }
    }
  }
  return true;
}

// What differs among the keys of a chart's series, which their names say.
struct varying {
  bool keys = false;
  bool bits = false;
  bool modes = false;
  bool threads = false;
};

varying varying_in(const std::vector<series>& all) {
  const auto varies = [&](auto part) {
    return std::any_of(all.begin(), all.end(),
                       [&](const series& s) { return part(s.key) != part(all.front().key); });
  };
  return {varies([](const series_key& k) { return k.keys; }),
          varies([](const series_key& k) { return k.key_bits; }),
          varies([](const series_key& k) { return k.mode; }),
          varies([](const series_key& k) { return k.threads; })};
}

// What a series' name says besides its method, of whatever differs among the chart's series:
// its keys, and its mode and threads where they are not the plain ones (throughput, one
// thread): "uniform 64-bit keys, latency, 2 threads"; empty where it says nothing.
std::string said_of(const series_key& key, const varying& differ) {
  std::vector<std::string> parts;
  if (differ.keys || differ.bits) {
    parts.push_back(fmt::format("{}{}{} keys", differ.keys ? key.keys : "",
                                differ.keys && differ.bits ? " " : "",
                                differ.bits ? fmt::format("{}-bit", key.key_bits) : ""));
  }
  if (differ.modes && key.mode != drive_mode::throughput) {
    parts.emplace_back(mode_name(key.mode));
  }
  if (differ.threads && key.threads != 1) {
    parts.push_back(threads_said(key.threads));
  }
  return fmt::format("{}", fmt::join(parts, ", "));
}

}  // namespace

series_key key_of(const row& r, across drawn) {
  return {r.method, r.keys, r.key_bits, r.mode, drawn == across::threads ? 0 : r.threads};
}

std::string look_sample(const look& style, bool dashed) {
  return sample_line(style.colour, dashed, 2) +
         marker_at(style.marker, false, style.colour, sample_width / 2, 0, "");
}

look look_at(std::size_t index) {
  return {colours.at(index % colours.size()), markers.at(index % markers.size())};
}

std::vector<series> series_of(std::span<const row> rows, across drawn, const row_test& taken) {
  std::vector<series> all;
  for (const row& r : rows) {
    if (taken && !taken(r)) {
      continue;
    }
    const series_key key = key_of(r, drawn);
    auto at = std::find_if(all.begin(), all.end(), [&](const series& s) { return s.key == key; });
    if (at == all.end()) {
      all.push_back({key,
                     std::string(key.method),
                     "",
                     look_at(all.size()),
                     r.counted,
                     drawn == across::threads ? thread_count : list_size,
                     {}});
      at = all.end() - 1;
    }
    at->halves[r.which == half::successful ? 0 : 1].push_back(&r);
  }
  const varying differ = varying_in(all);
  for (series& s : all) {
    s.said = said_of(s.key, differ);
    if (!s.said.empty()) {
      s.name = fmt::format("{} ({})", s.key.method, s.said);
    }
    for (std::vector<const row*>& h : s.halves) {
      std::stable_sort(h.begin(), h.end(),
                       [&](const row* a, const row* b) { return s.place(*a) < s.place(*b); });
    }
  }
  return all;
}

double list_size(const row& r) { return r.size; }
double measured_mean(const row& r) { return r.mean_comparisons(); }
double expected_mean(const row& r) {
  return r.has_expected() ? r.mean_expected_comparisons() : std::nan("");
}
double median_time(const row& r) { return r.wall.median; }
double least_time(const row& r) { return r.wall.min; }
double greatest_time(const row& r) { return r.wall.max; }
double layout_time(const row& r) { return r.layout_ns.value_or(std::nan("")); }
double bytes_per_key(const row& r) {
  return r.layout_bytes.has_value() && r.size > 0
             ? static_cast<double>(*r.layout_bytes) / static_cast<double>(r.size)
             : std::nan("");
}
double thread_count(const row& r) { return r.threads; }
double searches_per_second(const row& r) {
  return r.searches_per_second > 0.0 ? r.searches_per_second : std::nan("");
}

bool spread_widely(const row& r) { return r.wall.mad_percent > widest_spread_percent; }

std::vector<double> values_of(const std::vector<series>& all,
                              std::initializer_list<row_value> taken) {
  std::vector<double> values;
  for (const series& s : all) {
    for (const std::vector<const row*>& h : s.halves) {
      for (const row* r : h) {
        for (const row_value& value : taken) {
          values.push_back(value(*r));
        }
      }
    }
  }
  return values;
}

points points_of(const panel& p, const series& s, const std::vector<const row*>& rows,
                 const row_value& value) {
  points at;
  for (const row* r : rows) {
    if (p.shows(value(*r))) {
      at.emplace_back(p.x(s.place(*r)), p.y(value(*r)));
    }
  }
  return at;
}

std::string series_title(const series& s, std::size_t side, std::string_view what) {
  return fmt::format("{}, {}: {}", s.name, half_name(sides.at(side)), what);
}

std::string line_of(const panel& p, const series& s, std::size_t side, const row_value& value,
                    bool dashed, double width, std::string_view what) {
  return line_through(points_of(p, s, s.halves.at(side), value), s.style.colour, dashed, width,
                      series_title(s, side, what));
}

std::string markers_of(const panel& p, const series& s, const std::vector<const row*>& rows,
                       std::string_view shown, const row_value& value, const row_test& hollow,
                       const tooltip_text& say) {
  std::string out = fmt::format("<g><title>{}, {}</title>", escaped(s.name), shown);
  for (const row* r : rows) {
    const double v = value(*r);
    if (p.shows(v)) {
      out += marker_at(s.style.marker, hollow(*r), s.style.colour, p.x(s.place(*r)), p.y(v),
                       say(s, *r));
    }
  }
  return out + "</g>";
}

std::string shown_name(const series& s) {
  if (s.counted) {
    return s.name;
  }
  return fmt::format("{} ({}{}baseline)", s.key.method, s.said, s.said.empty() ? "" : ", ");
}

std::vector<const series*> coinciding(const std::vector<series>& all,
                                      std::initializer_list<row_value> taken) {
  std::vector<const series*> twins(all.size(), nullptr);
  for (std::size_t i = 0; i < all.size(); ++i) {
    for (std::size_t j = 0; j < i && twins[i] == nullptr; ++j) {
      if (same_values(all[i].halves[0], all[j].halves[0], taken) &&
          same_values(all[i].halves[1], all[j].halves[1], taken)) {
        twins[i] = &all[j];
      }
    }
  }
  return twins;
}

std::vector<legend_item> series_items(const std::vector<series>& all,
                                      const std::vector<const series*>& twins) {
  std::vector<legend_item> items;
  items.reserve(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    const series& s = all[i];
    items.push_back({look_sample(s.style, !s.counted),
                     twins[i] == nullptr
                         ? shown_name(s)
                         : fmt::format("{} = {}", shown_name(s), shown_name(*twins[i]))});
  }
  return items;
}

std::string twins_in_words(const std::vector<series>& all,
                           const std::vector<const series*>& twins) {
  std::string out;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (twins[i] != nullptr) {
      out += fmt::format(" {} lies on {} at every size, drawn over it.", shown_name(all[i]),
                         shown_name(*twins[i]));
    }
  }
  return out;
}

std::string key_marker_sample() { return look_sample({key_colour, markers[0]}, false); }

std::string hollow_marker_sample() {
  return marker_at(markers[0], true, key_colour, sample_width / 2, 0, "");
}

bool any_hollow(const std::vector<series>& all, const row_test& hollow) {
  return std::any_of(all.begin(), all.end(), [&](const series& s) {
    return std::any_of(s.halves.begin(), s.halves.end(), [&](const std::vector<const row*>& h) {
      return std::any_of(h.begin(), h.end(), [&](const row* r) { return hollow(*r); });
    });
  });
}

std::string entries(std::int32_t size) {
  return fmt::format("{} {}", size, size == 1 ? "entry" : "entries");
}

std::string duration_cell(double ns) { return in_time_unit(ns, time_cell); }

std::string threads_said(int threads) {
  return fmt::format("{} thread{}", threads, threads == 1 ? "" : "s");
}

std::string at_size(const row& r) { return entries(r.size); }

std::string at_threads(const row& r) { return threads_said(r.threads); }

std::string span_in_words(const std::vector<const row*>& rows, const value_text& value,
                          const value_text& where) {
  const row& first = *rows.front();
  const row& last = *rows.back();
  if (rows.size() == 1) {
    return fmt::format("{} at {}", value(first), where(first));
  }
  return fmt::format("{} at {} to {} at {}", value(first), where(first), value(last), where(last));
}

std::string series_in_words(const std::vector<series>& all, std::size_t side,
                            const value_text& value, const value_text& where) {
  std::string out;
  for (const series& s : all) {
    if (!s.halves.at(side).empty()) {
      out += fmt::format(" {}, {}: {}.", shown_name(s), half_name(sides.at(side)),
                         span_in_words(s.halves.at(side), value, where));
    }
  }
  return out;
}

std::string axis_span(const axis& a, tick_label label) {
  return fmt::format("from {} to {} on a {} axis", label(a.low), label(a.high),
                     a.logarithmic ? "logarithmic" : "linear");
}

}  // namespace velk_lab
