// The core for JavaScript: one converter over a chunked index whose chunks the page supplies.
//
// Every call answers a JSON string (embind carries strings both ways as UTF-8). Each answer holds
// "missing", the chunks its lookups needed and nobody has supplied: the JavaScript side fetches
// them, supplies them and calls again, so an answer with missing chunks is provisional.
#include <emscripten/bind.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "converter/effects_html.hpp"
#include "glyphloom/chunked.hpp"
#include "glyphloom/glyphloom.hpp"
#include "glyphloom/index.hpp"
#include "json.hpp"
#include "name_search.hpp"

namespace glyphloom::web {
namespace {

struct State {
  std::shared_ptr<Chunked> chunked;
  std::unique_ptr<Glyphloom> core;
};
State& state() {
  static State s;
  return s;
}

std::string missing_json() {
  std::vector<size_t> missing = state().chunked->take_missing();
  std::string out = "[";
  for (size_t i = 0; i < missing.size(); ++i) {
    if (i) out += ',';
    out += std::to_string(missing[i]);
  }
  return out + "]";
}

// Line and column of a byte offset, both from 1; the column counts characters, as the Python
// package's do.
void append_place(std::string& out, std::string_view source, size_t byte) {
  size_t line = 1, column = 1;
  byte = std::min(byte, source.size());
  for (size_t i = 0; i < byte; ++i) {
    if (source[i] == '\n') {
      ++line;
      column = 1;
    } else {
      column += (static_cast<unsigned char>(source[i]) & 0xC0) != 0x80;
    }
  }
  out += ",\"byte\":" + std::to_string(byte) + ",\"line\":" + std::to_string(line) +
         ",\"column\":" + std::to_string(column);
}

std::string warnings_json(const std::vector<Warning>& warnings, std::string_view source) {
  std::string out = "[";
  for (size_t i = 0; i < warnings.size(); ++i) {
    if (i) out += ',';
    out += "{\"message\":";
    json::append_string(out, warnings[i].message);
    append_place(out, source, warnings[i].byte);
    out += '}';
  }
  return out + "]";
}

const char* kind_of(const Error& error) {
  static constexpr const char* kinds[] = {"UnknownEntity", "Unclosed", "Unsupported",
                                          "InvalidMeta"};
  return kinds[error.index()];
}

// The error's message; the rest of the source after an unclosed "<:" is cut to its first line.
std::string message_of(const Error& error) {
  if (const auto* unclosed = std::get_if<Unclosed>(&error)) {
    std::string_view rest = unclosed->rest;
    std::string_view line = rest.substr(0, rest.find('\n'));
    if (line.size() <= 30 && line.size() == rest.size())
      return "unclosed <: at " + std::string(rest);
    size_t cut = std::min<size_t>(line.size(), 30);
    while (cut > 0 && cut < line.size() && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
      --cut;
    return "unclosed <: at " + std::string(line.substr(0, cut)) + "…";
  }
  return error_text(error);
}

template <class F>
std::string guarded(F&& f) {
  if (!state().core) return "{\"internal\":\"no index: call open first\",\"missing\":[]}";
  try {
    return f();
  } catch (const std::exception& e) {
    std::string out = "{\"internal\":";
    json::append_string(out, e.what());
    return out + ",\"missing\":" + missing_json() + "}";
  }
}

WarningMode mode_of(const std::string& mode) {
  if (mode == "lenient") return WarningMode::Lenient;
  if (mode == "error") return WarningMode::Error;
  return WarningMode::Warn;
}

}  // namespace

// Opens the chunked header; returns "" or why it is no header.
std::string open(std::string header) {
  auto opened = Chunked::open(std::move(header));
  if (auto* error = std::get_if<std::string>(&opened)) return *error;
  State& s = state();
  s.chunked = std::get<std::shared_ptr<Chunked>>(opened);
  s.core = std::make_unique<Glyphloom>(Index(s.chunked));
  return "";
}

// The header's words the page needs before any lookup: chunk count, base chunk, and per table
// its first bounded chunk and their number.
std::string layout() {
  State& s = state();
  if (!s.chunked) return "null";
  std::string_view h = s.chunked->header();
  auto word = [&](size_t i) {
    const auto* p = reinterpret_cast<const unsigned char*>(h.data()) + 4 * i;
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
  };
  std::string out = "{\"chunks\":" + std::to_string(s.chunked->chunk_count()) + ",\"base\":";
  auto base = s.chunked->base_chunk();
  out += base ? std::to_string(*base) : "null";
  out += ",\"tables\":[";
  for (uint32_t t = 0; t < kTableCount; ++t) {
    if (t) out += ',';
    out += "{\"first\":" + std::to_string(word(4 + 3 * t)) +
           ",\"count\":" + std::to_string(word(5 + 3 * t)) + "}";
  }
  return out + "]}";
}

std::string supply(size_t chunk, std::string bytes) {
  if (!state().chunked) return "no index: call open first";
  auto refused = state().chunked->supply(chunk, std::move(bytes));
  return refused ? *refused : "";
}

std::string convert(std::string source, std::string mode) {
  return guarded([&] {
    Glyphloom& core = *state().core;
    auto result = core.convert_located(source, mode_of(mode));
    // A conversion that stopped at an error stopped noting what it needs; a lenient pass over
    // the rest gathers every missing chunk for one round of fetching.
    if (std::holds_alternative<Failure>(result) && !state().chunked->missing().empty())
      (void)core.convert_located(source, WarningMode::Lenient);
    std::string out = "{";
    if (auto* done = std::get_if<Converted>(&result)) {
      out += "\"text\":";
      json::append_string(out, done->text);
      out += ",\"warnings\":" + warnings_json(done->warnings, source) + ",\"error\":null";
    } else {
      const Failure& failure = std::get<Failure>(result);
      out += "\"text\":null,\"warnings\":[],\"error\":{\"kind\":\"";
      out += kind_of(failure.error);
      out += "\",\"message\":";
      json::append_string(out, message_of(failure.error));
      append_place(out, source, failure.byte);
      out += '}';
    }
    return out + ",\"missing\":" + missing_json() + "}";
  });
}

std::string to_glyphloom(std::string text) {
  return guarded([&] {
    std::string out = "{\"markup\":";
    json::append_string(out, state().core->to_glyphloom(text));
    return out + ",\"missing\":" + missing_json() + "}";
  });
}

std::string meta_runs(std::string tagged) {
  return guarded([&] {
    Styled styled = state().core->meta_runs(tagged);
    std::string out = "{\"text\":";
    json::append_string(out, styled.text);
    out += ",\"runs\":[";
    for (size_t i = 0; i < styled.runs.size(); ++i) {
      const MetaRun& run = styled.runs[i];
      if (i) out += ',';
      out += "{\"key\":";
      json::append_string(out, run.key);
      out += ",\"value\":";
      json::append_string(out, run.value);
      // JavaScript string positions (UTF-16 units) beside the byte offsets.
      out +=
          ",\"start\":" +
          std::to_string(json::utf16_length(std::string_view(styled.text).substr(0, run.start))) +
          ",\"end\":" +
          std::to_string(json::utf16_length(std::string_view(styled.text).substr(0, run.end))) +
          ",\"startByte\":" + std::to_string(run.start) +
          ",\"endByte\":" + std::to_string(run.end) + ",\"byte\":" + std::to_string(run.byte) + "}";
    }
    out += "],\"warnings\":" + warnings_json(styled.warnings, tagged);
    return out + ",\"missing\":" + missing_json() + "}";
  });
}

std::string html(std::string tagged, bool effects) {
  return guarded([&] {
    const Glyphloom& core = *state().core;
    Styled styled = core.meta_runs(tagged);
    std::string out = "{\"html\":";
    json::append_string(out, effects ? detail::effects_html(core, styled) : core.html(styled));
    return out + ",\"missing\":" + missing_json() + "}";
  });
}

std::string font(std::string name) {
  return guarded([&] {
    auto found = state().core->font(name);
    std::string out = "{\"font\":";
    if (!found) {
      out += "null";
    } else {
      auto strings = [&](const std::vector<std::string_view>& items) {
        out += '[';
        for (size_t i = 0; i < items.size(); ++i) {
          if (i) out += ',';
          json::append_string(out, items[i]);
        }
        out += ']';
      };
      out += "{\"name\":";
      json::append_string(out, found->name);
      out += ",\"lang\":";
      json::append_string(out, found->lang);
      out += ",\"families\":";
      strings(found->families);
      out += ",\"features\":";
      strings(found->features);
      out += '}';
    }
    return out + ",\"missing\":" + missing_json() + "}";
  });
}

std::string search(std::string query, size_t limit) {
  return guarded([&] {
    std::string out = "{\"matches\":" + search_names(state().core->index(), query, limit);
    return out + ",\"missing\":" + missing_json() + "}";
  });
}

}  // namespace glyphloom::web

EMSCRIPTEN_BINDINGS(glyphloom) {
  using namespace glyphloom::web;
  emscripten::function("open", &open);
  emscripten::function("layout", &layout);
  emscripten::function("supply", &supply);
  emscripten::function("convert", &convert);
  emscripten::function("toGlyphloom", &to_glyphloom);
  emscripten::function("metaRuns", &meta_runs);
  emscripten::function("html", &html);
  emscripten::function("font", &font);
  emscripten::function("search", &search);
}
