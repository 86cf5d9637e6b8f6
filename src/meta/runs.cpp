// Tagged text to plain text and nested runs.
//
// Two choices keep the result sound on any input:
//
// * An attached meta covers the cluster before it. When opening or closing metas stand inside
//   that cluster (after its first character, before a continuation character), the attached run
//   starts at the last of them instead of at the cluster start. No run made by an opening or
//   closing meta then has a boundary strictly inside the attached run, so every returned run
//   list nests, which is what rendering needs.
//
// * A closing meta that crosses open runs ends them and continues each one as a new run. Hostile
//   text can make every close continue everything opened above it (n opens, then n crossed
//   closes with a character between each: n^2 runs, over 10^8 for one megabyte). The number of
//   continued runs is therefore capped at one per TAG character of the input (a quarter of its
//   bytes), far above anything real markup produces. Past the cap a crossed close only ends the
//   runs above it, and their own closes may then report that they close nothing. Closes find
//   their run through a per-key index, so unmatched closes over a deep stack stay cheap too.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "glyphloom/meta.hpp"
#include "meta/tag_runs.hpp"
#include "text/ascii.hpp"

namespace glyphloom {

namespace {

class Parser {
 public:
  explicit Parser(std::string_view tagged) : tagged_(tagged), budget_(tagged.size() / 4) {
    styled_.text.reserve(tagged.size());
  }

  Styled run() && {
    size_t p = 0;
    while (p < tagged_.size()) {
      // Only one position of a run of TAG characters can start a meta: trying the others would
      // read to the end of the run each time.
      std::optional<MetaAt> found;
      if (tag_runs_.may_hold_meta(tagged_, p)) found = meta_at(tagged_.substr(p));
      if (found) {
        apply(std::move(found->meta), p);
        p += found->length;
      } else {
        p += copy_character(p);
      }
    }
    const size_t length = styled_.text.size();
    for (const Open& open : stack_) styled_.runs[open.run].end = length;
    std::erase_if(styled_.runs, [](const MetaRun& r) { return r.start >= r.end; });
    std::stable_sort(styled_.runs.begin(), styled_.runs.end(),
                     [](const MetaRun& a, const MetaRun& b) {
                       return a.start != b.start ? a.start < b.start : a.end > b.end;
                     });
    return std::move(styled_);
  }

 private:
  // An entry of the open stack, with the stack slots of the open runs of the same key (ascending),
  // so that a close finds its run without walking the stack.
  struct Open {
    size_t run;
    std::vector<size_t>* slots;
  };

  size_t copy_character(size_t p) {
    if (static_cast<uint8_t>(tagged_[p]) < 0x80) return copy_ascii(p);
    const utf8::Decoded d = utf8::decode(tagged_, p);
    if (!has_previous_ || !continues_cluster(previous_, d.cp)) {
      cluster_start_ = styled_.text.size();
    }
    styled_.text.append(tagged_.substr(p, d.length));
    previous_ = d.cp;
    has_previous_ = true;
    return d.length;
  }

  // A run of ASCII at once, as plain text is mostly ASCII: none of it is a TAG character, and
  // no ASCII character continues a cluster, so each starts one, the first unless it follows a
  // joiner.
  size_t copy_ascii(size_t p) {
    const size_t end = text::ascii_end(tagged_, p);
    const size_t here = styled_.text.size();
    if (!has_previous_ || !continues_cluster(previous_, static_cast<uint8_t>(tagged_[p]))) {
      cluster_start_ = here;
    }
    if (end - p > 1) cluster_start_ = here + (end - p - 1);
    styled_.text.append(tagged_, p, end - p);
    previous_ = static_cast<uint8_t>(tagged_[end - 1]);
    has_previous_ = true;
    return end - p;
  }

  void apply(Meta meta, size_t p) {
    const size_t here = styled_.text.size();
    switch (meta.kind) {
      case MetaKind::Open:
        mark_boundary(here);
        open(std::move(meta.key), std::move(meta.value), p);
        break;
      case MetaKind::Close:
        close(meta.key, p);
        break;
      case MetaKind::Attached: {
        const size_t inner = last_boundary_ < here ? last_boundary_ : boundary_before_;
        styled_.runs.push_back(MetaRun{std::move(meta.key), std::move(meta.value),
                                       std::max(inner, cluster_start_), here, p});
        break;
      }
    }
  }

  void mark_boundary(size_t here) {
    if (here == last_boundary_) return;
    boundary_before_ = last_boundary_;
    last_boundary_ = here;
  }

  void open(std::string key, std::string value, size_t p) {
    const size_t here = styled_.text.size();
    std::vector<size_t>& slots = slots_[key];
    slots.push_back(stack_.size());
    stack_.push_back(Open{styled_.runs.size(), &slots});
    styled_.runs.push_back(MetaRun{std::move(key), std::move(value), here, here, p});
  }

  void close(const std::string& key, size_t p) {
    const auto found = slots_.find(key);
    if (found == slots_.end() || found->second.empty()) {
      styled_.warnings.push_back(Warning{"</" + key + " closes no open " + key, p});
      return;
    }
    const size_t here = styled_.text.size();
    mark_boundary(here);
    const size_t slot = found->second.back();
    crossed_.assign(stack_.begin() + static_cast<std::ptrdiff_t>(slot) + 1, stack_.end());
    for (size_t i = slot; i < stack_.size(); ++i) {
      styled_.runs[stack_[i].run].end = here;
      stack_[i].slots->pop_back();
    }
    stack_.resize(slot);
    for (const Open& taken : crossed_) {
      if (budget_ == 0) break;
      --budget_;
      const MetaRun& old = styled_.runs[taken.run];
      taken.slots->push_back(stack_.size());
      stack_.push_back(Open{styled_.runs.size(), taken.slots});
      styled_.runs.push_back(MetaRun{old.key, old.value, here, here, p});
    }
  }

  std::string_view tagged_;
  detail::TagRuns tag_runs_;
  Styled styled_;
  std::vector<Open> stack_;
  std::unordered_map<std::string, std::vector<size_t>> slots_;
  std::vector<Open> crossed_;
  size_t budget_;
  bool has_previous_ = false;
  char32_t previous_ = 0;
  size_t cluster_start_ = 0;
  // The plain-text positions of the latest opening or closing meta that started or ended runs,
  // and of the latest one before that position.
  size_t last_boundary_ = 0;
  size_t boundary_before_ = 0;
};

}  // namespace

Styled Styled::parse(std::string_view tagged) {
  return Parser(tagged).run();
}

}  // namespace glyphloom
