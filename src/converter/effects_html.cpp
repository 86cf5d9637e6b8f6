#include "effects_html.hpp"

#include <string_view>

namespace glyphloom::detail {

namespace {

// The transforms of the effects that turn a character; every other effect either colours it
// (its "*meta" key names a colour) or shows nothing (the presentation selectors).
constexpr std::pair<std::string_view, std::string_view> kTransforms[] = {
    {"turn", "rotate(180deg)"}, {"flip", "scaleY(-1)"},   {"left", "rotate(-90deg)"},
    {"right", "rotate(90deg)"}, {"mirror", "scaleX(-1)"}, {"reverse", "scaleX(-1)"}};

std::string_view transform_of(std::string_view effect) {
  for (const auto& [name, transform] : kTransforms) {
    if (name == effect) return transform;
  }
  return {};
}

class EffectWriter {
 public:
  EffectWriter(const Glyphloom& core, std::string& out) : core_(core), out_(out) {}

  // One stretch of plain text, escaped, each base with visual suffixes in its own span.
  void write(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
      const size_t base_end = i + utf8::decode(text, i).length;
      size_t end = base_end;
      // An emoji tag sequence (a subdivision flag) is part of its base, not effects.
      if (const auto tags = emoji_tags_at(text.substr(base_end))) {
        append_escaped_html(out_, text.substr(i, base_end + *tags - i));
        i = base_end + *tags;
        continue;
      }
      color_ = {};
      transforms_.clear();
      while (end < text.size()) {
        const size_t length = utf8::decode(text, end).length;
        const auto effect = core_.index().get(Table::Effects, text.substr(end, length));
        if (!effect) break;
        note(*effect);
        end += length;
      }
      if (color_.empty() && transforms_.empty()) {
        append_escaped_html(out_, text.substr(i, end - i));
      } else {
        open_span();
        append_escaped_html(out_, text.substr(i, end - i));
        out_ += "</span>";
      }
      i = end;
    }
  }

 private:
  void note(std::string_view effect) {
    if (const auto transform = transform_of(effect); !transform.empty()) {
      if (!transforms_.empty()) transforms_ += ' ';
      transforms_ += transform;
      return;
    }
    // "red *meta" is "color red": the colour an effect stands for where it has no suffix.
    meta_key_.assign(effect).append(" *meta");
    const auto meta = core_.index().get(Table::Names, meta_key_);
    if (meta && meta->starts_with("color ")) color_ = meta->substr(6);
  }

  void open_span() {
    out_ += "<span class=\"glyphloom-effect\" style=\"";
    if (!color_.empty()) {
      out_ += "color: ";
      append_escaped_html(out_, color_);
    }
    if (!transforms_.empty()) {
      if (!color_.empty()) out_ += "; ";
      out_ += "display: inline-block; transform: ";
      out_ += transforms_;
    }
    out_ += "\">";
  }

  const Glyphloom& core_;
  std::string& out_;
  std::string_view color_;
  std::string transforms_;
  std::string meta_key_;
};

}  // namespace

std::string effects_html(const Glyphloom& core, const Styled& styled) {
  std::string out;
  out.reserve(styled.text.size() + styled.text.size() / 4);
  EffectWriter writer(core, out);
  // The spans of runs and of effects nest: an effect's span lies within one stretch of text.
  const std::string body = styled.interleaved(
      "</span>",
      [&](std::string_view text) {
        out.clear();
        writer.write(text);
        return out;
      },
      [&](const MetaRun& run) { return core.span(run); });
  return body;
}

}  // namespace glyphloom::detail
