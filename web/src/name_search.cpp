#include "name_search.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "glyphloom/meta.hpp"
#include "json.hpp"

namespace glyphloom::web {
namespace {

bool separator(char c) { return c == ' ' || c == '-' || c == '_'; }

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::vector<std::string> words(std::string_view text) {
  std::vector<std::string> out;
  std::string word;
  for (char c : text) {
    if (separator(c)) {
      if (!word.empty()) out.push_back(std::move(word));
      word.clear();
    } else {
      word += folded(c);
    }
  }
  if (!word.empty()) out.push_back(std::move(word));
  return out;
}

// The character a query stands for by itself: a pasted non-ASCII text, or U+HEX.
std::optional<std::string> pasted(std::string_view query) {
  while (!query.empty() && query.front() == ' ') query.remove_prefix(1);
  while (!query.empty() && query.back() == ' ') query.remove_suffix(1);
  if (query.size() > 2 && (query[0] == 'U' || query[0] == 'u') && query[1] == '+') {
    uint32_t cp = 0;
    auto [end, error] = std::from_chars(query.data() + 2, query.data() + query.size(), cp, 16);
    if (error == std::errc() && end == query.data() + query.size() && cp <= 0x10FFFF &&
        (cp < 0xD800 || cp > 0xDFFF)) {
      std::string out;
      utf8::append(out, static_cast<char32_t>(cp));
      return out;
    }
  }
  if (std::any_of(query.begin(), query.end(), [](char c) { return c & 0x80; }))
    return std::string(query);
  return std::nullopt;
}

using Rank = std::tuple<int, size_t, size_t, std::string_view>;

std::optional<Rank> rank(std::string_view key, const std::vector<std::string>& query,
                         std::string_view raw) {
  if (key == raw) return Rank{0, 0, key.size(), key};
  std::vector<std::string> have = words(key);
  if (have.size() < query.size()) return std::nullopt;
  bool whole = true;
  for (const std::string& q : query) {
    bool exact = std::find(have.begin(), have.end(), q) != have.end();
    if (!exact) {
      whole = false;
      bool prefix = std::any_of(have.begin(), have.end(),
                                [&](const std::string& w) { return w.rfind(q, 0) == 0; });
      if (!prefix) return std::nullopt;
    }
  }
  const size_t extra = have.size() - query.size();
  int level = whole ? (extra == 0 ? 1 : 2) : 3;
  return Rank{level, extra, key.size(), key};
}

}  // namespace

std::string search_names(const Index& index, std::string_view query, size_t limit) {
  std::optional<std::string> character = pasted(query);
  std::vector<std::string> query_words = words(query);
  // Best rank per text.
  std::map<std::string_view, std::pair<Rank, std::string_view>> best;
  if (character || !query_words.empty()) {
    for (const Entry& entry : index.entries(Table::Names)) {
      if (entry.key.empty() || entry.text.empty()) continue;
      std::optional<Rank> r;
      if (character) {
        if (entry.text == *character) r = Rank{0, 0, entry.key.size(), entry.key};
      } else {
        r = rank(entry.key, query_words, query);
      }
      if (!r) continue;
      auto [it, added] = best.try_emplace(entry.text, *r, entry.key);
      if (!added && *r < it->second.first) it->second = {*r, entry.key};
    }
  }
  std::vector<std::pair<Rank, std::string_view>> found;
  found.reserve(best.size());
  for (const auto& [text, ranked] : best) found.emplace_back(ranked.first, text);
  const size_t n = std::min(limit, found.size());
  std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(n), found.end());
  std::string out = "[";
  for (size_t i = 0; i < n; ++i) {
    if (i) out += ',';
    out += "{\"name\":";
    json::append_string(out, std::get<3>(found[i].first));
    out += ",\"text\":";
    json::append_string(out, found[i].second);
    out += '}';
  }
  return out + "]";
}

}  // namespace glyphloom::web
