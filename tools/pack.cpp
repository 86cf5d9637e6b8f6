// Packs table text files into a GLX1 image, or splits an image into a chunked index.
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "glyphloom/chunk_writer.hpp"
#include "glyphloom/index.hpp"
#include "glyphloom/writer.hpp"

namespace {

constexpr const char* kUsage =
    "usage: glyphloom_pack OUT.glx NAMES SPELLINGS EFFECTS FONTS TEMPLATES\n"
    "       glyphloom_pack --chunks DIR [--chunk-size BYTES] [--base-table-limit BYTES]\n"
    "                      [--bloom-bits BITS] (IMAGE.glx | NAMES SPELLINGS EFFECTS FONTS "
    "TEMPLATES)\n"
    "\n"
    "Each table file holds rows \"key<TAB>text\" (see writer.hpp for the escapes).\n"
    "With --chunks, the image (given, or packed from the tables) is split into a chunked index:\n"
    "DIR/header.glxc and DIR/chunk-N.glx for N = 0 ... base, the base chunk being the last.\n"
    "Defaults: --chunk-size 65536, --base-table-limit 16384, --bloom-bits 10 (per filtered name;\n"
    "0 writes no filter). A client fetches the header and the base chunk first, then the chunks\n"
    "its lookups report missing.\n";

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string pack_tables(const std::vector<std::string>& paths) {
  std::vector<glyphloom::TableRows> tables;
  for (const std::string& path : paths) {
    try {
      tables.push_back(glyphloom::parse_table_text(read_file(path)));
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(path + ": " + e.what());
    }
  }
  return glyphloom::write_image(tables);
}

size_t parse_size(const std::string& option, const std::string& value) {
  size_t n = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
  if (error != std::errc() || end != value.data() + value.size()) {
    throw std::runtime_error(option + " wants a number, not \"" + value + "\"");
  }
  return n;
}

int split(const std::vector<std::string>& args) {
  std::filesystem::path dir;
  glyphloom::ChunkOptions options;
  std::vector<std::string> inputs;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool valued = arg == "--chunks" || arg == "--chunk-size" || arg == "--bloom-bits" ||
                        arg == "--base-table-limit";
    if (valued && i + 1 == args.size()) throw std::runtime_error(arg + " wants a value");
    if (arg == "--chunks") {
      dir = args[++i];
    } else if (arg == "--chunk-size") {
      options.chunk_size = parse_size(arg, args[++i]);
    } else if (arg == "--base-table-limit") {
      options.base_table_limit = parse_size(arg, args[++i]);
    } else if (arg == "--bloom-bits") {
      const size_t bits = parse_size(arg, args[++i]);
      if (bits > 64) throw std::runtime_error("--bloom-bits is at most 64");
      options.bloom_bits_per_key = static_cast<uint32_t>(bits);
    } else {
      inputs.push_back(arg);
    }
  }
  if (dir.empty() || (inputs.size() != 1 && inputs.size() != glyphloom::kTableCount)) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string image = inputs.size() == 1 ? read_file(inputs[0]) : pack_tables(inputs);
  auto written = glyphloom::write_chunks(image, options);
  if (auto* error = std::get_if<std::string>(&written)) throw std::runtime_error(*error);
  const glyphloom::ChunkSet& set = std::get<glyphloom::ChunkSet>(written);
  std::filesystem::create_directories(dir);
  write_file(dir / "header.glxc", set.header);
  size_t largest = 0;
  for (size_t c = 0; c < set.chunks.size(); ++c) {
    write_file(dir / ("chunk-" + std::to_string(c) + ".glx"), set.chunks[c]);
    if (c != set.base()) largest = std::max(largest, set.chunks[c].size());
  }
  std::cout << "header.glxc: " << set.header.size() << " bytes; " << set.chunks.size()
            << " chunks, base chunk " << set.base() << " (" << set.chunks[set.base()].size()
            << " bytes), largest bounded chunk " << largest << " bytes; absence filter "
            << set.bloom_bits << " bits, " << set.bloom_probes << " probes over "
            << set.filtered_names << " names\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (!args.empty() && args[0].rfind("--", 0) == 0) return split(args);
    if (args.size() != 1 + glyphloom::kTableCount) {
      std::cerr << kUsage;
      return 2;
    }
    write_file(args[0], pack_tables({args.begin() + 1, args.end()}));
  } catch (const std::exception& e) {
    std::cerr << "glyphloom_pack: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
