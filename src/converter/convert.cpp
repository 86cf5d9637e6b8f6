// The conversion driver: header, plain text and blocks, short references, tags.
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/meta.hpp"
#include "index/batch.hpp"
#include "index/uninitialized.hpp"
#include "internal.hpp"
#include "output.hpp"
#include "steps.hpp"
#include "tokens.hpp"

namespace glyphloom {

namespace {

bool supported_version(std::string_view version) {
  if (!version.starts_with(kVersionPrefix)) return false;
  const auto number = version.substr(kVersionPrefix.size());
  return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
}

struct Block {
  std::string_view modifier;
  bool group;
};

// The items the driver takes at a time: enough to fill a batch of Names lookups (a reference
// has one key, a tag two), with the plain text between them.
constexpr size_t kBatchItems = 2 * detail::kMaxBatch;

// An item with its Names keys: for a reference its name; for a tag the marker key of its content
// (the content followed by a space) and its whole name (the content with dashes for its spaces).
// Its fields are set when it is filled, so the driver's array of them costs nothing to make.
struct Pending {
  detail::Item item;
  const detail::Batch::Key* name;
  const detail::Batch::Key* marker;
};

}  // namespace

// Both calls build their result where it is returned: a short text lives in its string's own
// buffer, so each move of it would be a copy.
Result<Converted> Glyphloom::convert(std::string_view source, WarningMode mode) const {
  Result<Converted> result(std::in_place_type<Converted>);
  if (auto failure = run(source, mode, std::get<Converted>(result))) {
    result = std::move(failure->error);
  }
  return result;
}

std::variant<Converted, Failure> Glyphloom::convert_located(std::string_view source,
                                                            WarningMode mode) const {
  std::variant<Converted, Failure> result(std::in_place_type<Converted>);
  if (auto failure = run(source, mode, std::get<Converted>(result))) result = std::move(*failure);
  return result;
}

std::optional<Failure> Glyphloom::run(std::string_view source, WarningMode mode,
                                      Converted& done) const {
  static const std::vector<std::string_view> kNoEffects;
  warnings_.clear();
  unlisted_ = 0;
  detail::Output out(source.size());
  const char* const source_end = source.data() + source.size();
  std::optional<Block> block;

  size_t pos = 0;
  if (const auto head = header(source)) {
    if (!head->version.empty() && !supported_version(head->version)) {
      warn(detail::fill("unsupported glyphloom version {}", {head->version}), 0);
    }
    pos = head->length;
  }

  detail::Tokenizer tokens(source, pos);
  detail::Batch names(index_, Table::Names);
  detail::Uninitialized<Pending, kBatchItems> pending;
  // The dashed whole names of spaced tags, for one batch. No more than the source's size is ever
  // held, so once reserved it never moves and the views of a batch stay valid.
  std::string dashed;
  for (bool more = true; more;) {
    // The next items, and the keys they look up, searched together.
    names.clear();
    dashed.clear();
    size_t count = 0;
    while (more && count < kBatchItems && names.room() >= 2) {
      Pending& p = pending[count++];
      tokens.next(p.item);
      p.name = p.marker = nullptr;
      const std::string_view body = p.item.body;
      if (p.item.kind == detail::Item::Reference) {
        // The name's bytes are ASCII, so UTF-8.
        p.name = names.add(body, {}, true);
      } else if (p.item.kind == detail::Item::Tag && !body.empty()) {
        if (body.size() > 1) {
          std::string_view whole = body;
          if (p.item.spaced) {
            if (dashed.capacity() < source.size()) dashed.reserve(source.size());
            const size_t at = dashed.size();
            for (const char c : body) dashed += c == ' ' ? '-' : c;
            whole = std::string_view(dashed).substr(at);
          }
          p.name = names.add(whole, {}, p.item.ascii);
        }
        // Where the whole name is the content itself, its hash starts the marker key's.
        p.marker = p.name && !p.item.spaced ? names.extend(*p.name, " ") : names.add(body, " ");
      }
      more = p.item.kind != detail::Item::End && p.item.kind != detail::Item::Unclosed;
    }
    names.search();

    for (size_t i = 0; i < count; ++i) {
      const Pending& p = pending[i];
      const detail::Item& item = p.item;
      const size_t start = item.start;
      switch (item.kind) {
        case detail::Item::Plain: {
          const std::string_view plain = item.body;
          if (!block) {
            out.append(plain, source_end);
          } else if (block->group) {
            out += detail::operands(*this, block->modifier, plain, kNoEffects, start);
          } else {
            // Word by word; each whitespace character ends a word and is kept as it is.
            size_t word = 0;
            for (size_t at = 0; at < plain.size();) {
              const detail::Char c = detail::char_at(plain, at);
              if (utf8::is_white_space(c.cp)) {
                out += detail::operand(*this, block->modifier, plain.substr(word, at - word),
                                       kNoEffects, start);
                out += plain.substr(at, c.length);
                word = at + c.length;
              }
              at += c.length;
            }
            if (word < plain.size()) {
              out += detail::operand(*this, block->modifier, plain.substr(word), kNoEffects, start);
            }
          }
          break;
        }
        case detail::Item::Reference:
          if (const auto entry = names.find(*p.name)) {
            out.append(entry->text, names.readable(entry->text));
          } else {
            auto kept_text = detail::kept(*this, UnknownEntity{std::string(item.body)},
                                          source.substr(start, item.end - start), start, mode);
            if (auto* error = std::get_if<Error>(&kept_text)) {
              return Failure{std::move(*error), start};
            }
            out += std::get<std::string>(kept_text);
          }
          break;
        case detail::Item::Unclosed: {
          auto kept_text =
              detail::kept(*this, Unclosed{std::string(item.body)}, item.body, start, mode);
          if (auto* error = std::get_if<Error>(&kept_text))
            return Failure{std::move(*error), start};
          out += std::get<std::string>(kept_text);
          break;
        }
        case detail::Item::Closing:
          if (index_.entry(Table::Templates, item.body)) {
            out += Meta{MetaKind::Close, std::string(item.body), {}}.tags();
          } else {
            // Any closing tag that is no meta ends the block, whatever its name.
            block.reset();
          }
          break;
        case detail::Item::Tag: {
          const std::string_view content = item.body;
          if (content.empty()) {
            block.reset();
          } else if (names.find(*p.marker)) {
            block = Block{content, detail::has_name(index_, detail::Key{content, " *group"})};
          } else if (const auto whole = p.name ? names.find(*p.name) : std::nullopt) {
            // What `tag` finds first, the whole name, from the batch.
            out.append(whole->text, names.readable(whole->text));
          } else {
            auto resolved = content.size() > 1 ? detail::tag_parts(*this, content, start)
                                               : detail::tag(*this, content, start);
            if (auto* error = std::get_if<Error>(&resolved)) {
              resolved = detail::kept(*this, std::move(*error),
                                      source.substr(start, item.end - start), start, mode);
              if (auto* kept_error = std::get_if<Error>(&resolved)) {
                return Failure{std::move(*kept_error), start};
              }
            }
            out += std::get<std::string>(resolved);
          }
          break;
        }
        case detail::Item::End:
          break;
      }
    }
  }

  if (unlisted_ > 0) {
    warnings_.back().message =
        detail::fill("{} more warnings not listed", {std::to_string(unlisted_)});
  }
  if (mode == WarningMode::Error && !warnings_.empty()) {
    Warning first = std::move(warnings_.front());
    warnings_.clear();
    const size_t byte = first.byte;
    return Failure{Unsupported{std::move(first)}, byte};
  }
  std::move(out).take(done.text);
  done.warnings.swap(warnings_);  // `done` starts without warnings, so this clears warnings_
  return std::nullopt;
}

}  // namespace glyphloom
