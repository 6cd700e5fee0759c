// velk: the search lab, with velk's own methods.
#include "lab/lab.hpp"

int main(int argc, char** argv) { return velk_lab::run(argc, argv); }
