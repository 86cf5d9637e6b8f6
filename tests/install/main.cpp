// A user's program against the installed library: the default index converts markup and
// converts text back to it.
#include <glyphloom/glyphloom.hpp>

#include <iostream>
#include <string>
#include <variant>

int main() {
  auto opened = glyphloom::Index::open(glyphloom::default_image());
  if (!std::holds_alternative<glyphloom::Index>(opened)) {
    std::cerr << "default image: " << std::get<std::string>(opened) << "\n";
    return 1;
  }
  const glyphloom::Glyphloom converter(std::get<glyphloom::Index>(std::move(opened)));
  const auto converted = converter.convert("<:latin-small-letter-eng> <:bold a> \\:alpha",
                                           glyphloom::WarningMode::Error);
  if (!std::holds_alternative<glyphloom::Converted>(converted)) {
    std::cerr << "conversion failed\n";
    return 1;
  }
  std::cout << std::get<glyphloom::Converted>(converted).text << "\n"
            << converter.to_glyphloom("\xC5\x8B") << "\n";
  return 0;
}
