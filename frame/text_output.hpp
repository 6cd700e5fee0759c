// Text output: everything the program prints goes through here, unbuffered, to standard output.
#pragma once

#include <string_view>

namespace frame {

// Writes `text` and then a line feed, with one write whenever the device takes the whole line
// (so lines that several processes append to one file stay whole). A device that takes part of
// it gets the rest in further writes; a non-blocking descriptor that is full is waited on. A
// write that fails raises the device error; the line may then be incomplete on the output.
void put_line(std::string_view text);

// Writes `text` without ending the line, as put_line writes.
void put(std::string_view text);

// Whether the last byte that reached standard output left a line open: part of a line has been
// written and not yet ended. A write that took nothing changes nothing.
bool line_partly_written();

// Ends the current line if part of one has been written; writes nothing otherwise. Used at
// shutdown, also on the failure path, so it raises nothing and is async-signal-safe.
void complete_partial_line();

// Writes all of `text` to an open file descriptor, going on after an interrupted or partial
// write and waiting while a non-blocking descriptor is full; false when the device refuses any of
// it. Async-signal-safe.
bool write_all(int descriptor, std::string_view text);

// Makes the C library's standard output and standard error unbuffered, so that anything written
// through them stays in order with the lines written here.
void unbuffer_standard_streams();

}  // namespace frame
