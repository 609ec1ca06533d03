#pragma once

#include <optional>
#include <string>

namespace bench {

inline constexpr int NAME_WIDTH = 32;
inline constexpr int CELL_WIDTH = 10;

// A row's name, left-aligned in the first column.
void print_name(const std::string& name);

// A heading over `columns` cells, right-aligned.
void print_heading(const char* text, int columns);

// A figure with as many decimals as its size calls for; "-" for none.
void print_cell(std::optional<double> value);

}  // namespace bench
