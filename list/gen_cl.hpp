// gen_cl: a bounded list of entries held in a fixed array inside the list value itself.
//
// The operations copy whole entries and never look inside one. An entry given to an operation may
// be one of the list's own slots: what is stored is the entry as it was when passed, and an
// entry handed back is written after the list has been changed. Misuse that a precondition
// forbids (inserting into a full list; deleting, retrieving or replacing in an empty one) writes
// one message line to standard output and changes nothing. Positions are not checked against the
// count: the caller keeps them inside the list. Only the array bounds are checked.
#pragma once

#include <cstdint>

#include "../frame/checks.hpp"
#include "../frame/text_output.hpp"

template <class entry>
struct gen_cl {
  static constexpr std::int32_t max_size = 10000;

  using position = frame::ranged<1, max_size>;
  using list_count = frame::ranged<0, max_size>;
  using cl_data = frame::checked_array<entry, 1, max_size>;

  // The slots and how many of them, from the first, hold the list. Plain public fields; too big
  // to copy, so a list is only ever passed by reference.
  struct list {
    cl_data data;
    list_count count;

    list() = default;
    list(const list&) = delete;
    list& operator=(const list&) = delete;
    list(list&&) = delete;
    list& operator=(list&&) = delete;
    ~list() = default;
  };

  // An operation given one entry to inspect or change in place.
  using process_list_entry = void (*)(entry& le);

  static void createlist(list& l) { l.count = 0; }
  static void clearlist(list& l) { l.count = 0; }
  static bool listempty(const list& l) { return l.count == 0; }
  static bool listfull(const list& l) { return l.count == max_size; }
  static list_count listsize(const list& l) { return l.count; }

  // Puts `le` at `p` (1..count + 1), moving the entries from `p` on up one place.
  static void insertlist(position p, const entry& le, list& l) {
    if (listfull(l)) {
      frame::put_line("Attempt to insert an entry into a full list");
      return;
    }
    // Copied before anything moves: `le` may be a slot that the move is about to overwrite.
    const entry inserted = le;
    for (std::int32_t index = listsize(l); index >= p; --index) {
      l.data[index + 1] = l.data[index];
    }
    l.data[p] = inserted;
    l.count = l.count + 1;
  }

  // Takes the entry at `p` (1..count) out into `le`, closing the gap.
  static void deletelist(position p, entry& le, list& l) {
    if (listempty(l)) {
      frame::put_line("Attempt to delete an entry fom an empty list");
      return;
    }
    // Handed back only once the gap is closed: `le` may be a slot that closing it moves.
    const entry taken = l.data[p];
    const std::int32_t n = listsize(l);
    for (std::int32_t index = p; index <= n - 1; ++index) {
      l.data[index] = l.data[index + 1];
    }
    l.count = l.count - 1;
    le = taken;
  }

  // Copies the entry at `p` (1..count) into `le`.
  static void retrievelist(position p, entry& le, const list& l) {
    if (listempty(l)) {
      frame::put_line("Attempt to retrieve an entry fom an empty list");
      return;
    }
    le = l.data[p];
  }

  // Stores `le` at `p` (1..count).
  static void replacelist(position p, const entry& le, list& l) {
    if (listempty(l)) {
      frame::put_line("Attempt to replace an entry fom an empty list");
      return;
    }
    l.data[p] = le;
  }

  // Hands each entry, first to last, to `visit` and stores back what it leaves. `visit` must
  // not be null when the list holds an entry (the constraint failure otherwise).
  static void traverselist(list& l, process_list_entry visit) {
    const std::int32_t n = l.count;
    for (std::int32_t index = 1; index <= n; ++index) {
      frame::check(visit != nullptr);
      entry le = l.data[index];
      visit(le);
      l.data[index] = le;
    }
  }
};
