// Writing GLX1 images: the canonical whole layout, and the table text files the default image is
// packed from.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace glyphloom {

using TableRows = std::vector<std::pair<std::string, std::string>>;

// The canonical layout: header, directory, record arrays in table order (each sorted by hash,
// then key bytes), then a pool holding each distinct string once, filled in record order (key,
// then text). `tables` may hold more than five tables; fewer are padded with empty ones. A key
// that stands twice in one table keeps its first row.
std::string write_image(const std::vector<TableRows>& tables);

// The table text format: one row per line, key TAB text. In both fields a backslash escapes:
// \\ \t \n \r, and \u{HEX} for any code point. Throws std::runtime_error naming the line of a
// malformed row.
TableRows parse_table_text(std::string_view text);
std::string format_table_text(const TableRows& rows);

}  // namespace glyphloom
