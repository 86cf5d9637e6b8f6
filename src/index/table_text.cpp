#include <stdexcept>
#include <string>

#include "glyphloom/meta.hpp"
#include "glyphloom/writer.hpp"

namespace glyphloom {

namespace {

[[noreturn]] void bad_row(size_t line, const std::string& why) {
  throw std::runtime_error("table text line " + std::to_string(line) + ": " + why);
}

std::string unescape(std::string_view field, size_t line) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    char c = field[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == field.size()) bad_row(line, "backslash at the end of a field");
    switch (field[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 'u': {
        size_t close = field.find('}', i);
        if (i + 1 >= field.size() || field[i + 1] != '{' || close == std::string_view::npos ||
            close == i + 2 || close - i - 2 > 6) {
          bad_row(line, "malformed \\u{...} escape");
        }
        unsigned long cp = 0;
        for (size_t k = i + 2; k < close; ++k) {
          char h = field[k];
          int digit = h >= '0' && h <= '9'   ? h - '0'
                      : h >= 'a' && h <= 'f' ? h - 'a' + 10
                      : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                             : -1;
          if (digit < 0) bad_row(line, "malformed \\u{...} escape");
          cp = cp * 16 + digit;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) bad_row(line, "not a code point");
        utf8::append(out, static_cast<char32_t>(cp));
        i = close;
        break;
      }
      default:
        bad_row(line, std::string("unknown escape \\") + field[i]);
    }
  }
  return out;
}

void escape_into(std::string& out, std::string_view field) {
  for (char c : field) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
}

}  // namespace

TableRows parse_table_text(std::string_view text) {
  TableRows rows;
  size_t line = 0;
  while (!text.empty()) {
    ++line;
    size_t end = text.find('\n');
    std::string_view row = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!row.empty() && row.back() == '\r') bad_row(line, "carriage return (write \\r)");
    size_t tab = row.find('\t');
    if (tab == std::string_view::npos) bad_row(line, "no tab between key and text");
    std::string key = unescape(row.substr(0, tab), line);
    std::string value = unescape(row.substr(tab + 1), line);
    if (!utf8::valid(key) || !utf8::valid(value)) bad_row(line, "not UTF-8");
    rows.emplace_back(std::move(key), std::move(value));
  }
  return rows;
}

std::string format_table_text(const TableRows& rows) {
  std::string out;
  for (const auto& [key, text] : rows) {
    escape_into(out, key);
    out += '\t';
    escape_into(out, text);
    out += '\n';
  }
  return out;
}

}  // namespace glyphloom
