// velk_ts: runs the search tests under the program frame.
#include "driver/velk_ts.hpp"
#include "frame/frame.hpp"
#include "search/velk_sr.hpp"

int main(int argc, char** argv) {
  frame::run(argc, argv, {velk_sr::initialize}, velk_ts::main_procedure);
}
