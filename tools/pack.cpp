// Packs table text files into a GLX1 image:
//   glyphloom_pack OUT.glx NAMES SPELLINGS EFFECTS FONTS TEMPLATES
// Each table file holds rows "key<TAB>text" (see writer.hpp for the escapes).
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "glyphloom/index.hpp"
#include "glyphloom/writer.hpp"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 + static_cast<int>(glyphloom::kTableCount)) {
    std::cerr << "usage: glyphloom_pack OUT.glx NAMES SPELLINGS EFFECTS FONTS TEMPLATES\n";
    return 2;
  }
  try {
    std::vector<glyphloom::TableRows> tables;
    for (int i = 2; i < argc; ++i) {
      try {
        tables.push_back(glyphloom::parse_table_text(read_file(argv[i])));
      } catch (const std::runtime_error& e) {
        throw std::runtime_error(std::string(argv[i]) + ": " + e.what());
      }
    }
    std::string image = glyphloom::write_image(tables);
    std::ofstream out(argv[1], std::ios::binary);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    if (!out) throw std::runtime_error(std::string("cannot write ") + argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "glyphloom_pack: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
