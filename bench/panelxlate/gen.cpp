// Generates an IDM script for the panelxlate benchmark:
//
//   panelxlate_gen OUTPUT OBJECTS [SEED]
//
// OBJECTS objects to be written, each with ten attributes: windows of one
// header and nine children, a third of the children based on models (copies
// with children of their own), the rest of class keywords. Before them come
// one model per hundred objects, and between the windows comments and rules
// that the scanner skips. Names are unique, as in a real application.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

// Ten attribute lines for object `id`, indented by `indent` blanks.
void Attributes(std::FILE *out, unsigned long id, int indent, std::mt19937 &random) {
  const std::string pad(static_cast<std::size_t>(indent), ' ');
  std::fprintf(out, "%s.xleft %lu;\n", pad.c_str(), random() % 30);
  std::fprintf(out, "%s.ytop %lu;\n", pad.c_str(), random() % 20);
  std::fprintf(out, "%s.width %lu;\n", pad.c_str(), 5 + random() % 30);
  std::fprintf(out, "%s.height 1;\n", pad.c_str());
  std::fprintf(out, "%s.text \"Text of object %lu\";\n", pad.c_str(), id);
  std::fprintf(out, "%s.help \"Help for object %lu, in a longer text\";\n", pad.c_str(), id);
  std::fprintf(out, "%s.visible true;\n", pad.c_str());
  std::fprintf(out, "%s.sensitive false;\n", pad.c_str());
  std::fprintf(out, "%s.maxchars %lu;\n", pad.c_str(), 10 + random() % 40);
  std::fprintf(out, "%s.content[1] \"First line %lu\";\n", pad.c_str(), id);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: panelxlate_gen OUTPUT OBJECTS [SEED]\n");
    return 2;
  }
  std::FILE *out = std::fopen(argv[1], "w");
  if (out == nullptr) return 1;
  const unsigned long objects = std::strtoul(argv[2], nullptr, 10);
  std::mt19937 random(argc == 4 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 1u);
  const unsigned long models = objects / 100 + 1;

  std::fprintf(out, "!! generated for the panelxlate benchmark: %lu objects\n", objects);
  for (unsigned long m = 0; m < models; ++m) {
    std::fprintf(out, "model edittext Field%lu {\n", m);
    Attributes(out, m, 2, random);
    std::fprintf(out, "  child statictext Label {\n    .text \"Label\";\n  }\n}\n");
  }
  unsigned long id = 0;
  for (unsigned long w = 0; id < objects; ++w) {
    if (w % 10 == 0) {
      std::fprintf(out, "/* window group %lu */\nrule void Check%lu {\n  if (x) { y = \"}\"; }\n}\n", w / 10, w);
    }
    std::fprintf(out, "window Win%lu {\n", w);
    Attributes(out, id++, 2, random);
    for (int c = 0; c < 9 && id < objects; ++c) {
      if (c % 3 == 0) {
        std::fprintf(out, "  child Field%lu Obj%lu {\n", static_cast<unsigned long>(random() % models), id);
      } else {
        std::fprintf(out, "  child %s Obj%lu {\n", c % 3 == 1 ? "edittext" : "pushbutton", id);
      }
      Attributes(out, id++, 4, random);
      std::fprintf(out, "  }\n");
    }
    std::fprintf(out, "}\n");
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
