#include "report_cells.h"

#include <cstdio>

namespace bench {

void print_name(const std::string& name) {
  std::printf("%-*s", NAME_WIDTH, name.c_str());
}

void print_heading(const char* text, int columns) {
  std::printf("%*s", CELL_WIDTH * columns, text);
}

void print_cell(std::optional<double> value) {
  if (!value) {
    std::printf("%*s", CELL_WIDTH, "-");
    return;
  }
  double magnitude = *value < 0 ? -*value : *value;
  int decimals = magnitude < 10 ? 2 : magnitude < 100 ? 1 : 0;
  std::printf("%*.*f", CELL_WIDTH, decimals, *value);
}

}  // namespace bench
