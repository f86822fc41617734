// Generates the input of the glosscheck benchmark: a dictionary of N sections
// and ten DLG files holding N dialog objects that it describes.
//
//   glosscheck_gen DIR N      writes DIR/dict.dic and DIR/dialogs-0.dlg to -9.dlg
//
// N/10 dialogs of ten objects each: the dialog, five edit fields, a label, a
// check box and a radio button group of two, each with its position and size.
// Each dialog has its catalog entry and ten sections: one per field, one for the
// group, and three that no object uses. Every check passes, so that glosscheck
// writes its progress lines only.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: glosscheck_gen DIR N\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long dialogs = std::strtol(argv[2], nullptr, 10) / 10;
  std::FILE *dict = std::fopen((dir + "/dict.dic").c_str(), "w");
  if (dict == nullptr) return 1;
  std::fputs("; generated dialog dictionary\n[catalog]\n", dict);
  for (long d = 0; d < dialogs; ++d) std::fprintf(dict, "H%ld = dlg%ld\n", d, d);
  for (long d = 0; d < dialogs; ++d) {
    for (int f = 0; f < 8; ++f) {
      std::fprintf(dict, "[h%ld.field%d]\nPATH = field%d\nOBJTYPE = ET\nFTYP = T\nFLEN = %d\nFREQ = %d\n", d, f, f,
                   10 + f, f % 2);
    }
    std::fprintf(dict, "[h%ld.active]\nPATH = active\nOBJTYPE = CB\n", d);
    std::fprintf(dict, "[h%ld.kind]\nPATH = kind\nOBJTYPE = RB\nFMIN = 1\n", d);
  }
  if (std::fclose(dict) != 0) return 1;

  constexpr int kFiles = 10;
  for (int file = 0; file < kFiles; ++file) {
    std::FILE *out = std::fopen((dir + "/dialogs-" + std::to_string(file) + ".dlg").c_str(), "w");
    if (out == nullptr) return 1;
    std::fputs("# generated dialogs\nRULE = 998\n", out);
    for (long d = file; d < dialogs; d += kFiles) {
      std::fprintf(out, "Dialog dlg%ld {\n  .title = \"Dialog %ld\"\n  .w = 60\n  .h = 12\n", d, d);
      for (int f = 0; f < 5; ++f) {
        std::fprintf(out, "  EditText field%d { .x = 20 .y = %d .w = %d .maxchars = %d .rule = RULE }\n", f, f + 1,
                     10 + f, 10 + f);
      }
      std::fputs("  StaticText label { .x = 1 .y = 1 .w = 18 .content = \"Label\" }\n", out);
      std::fputs("  CheckBox active { .x = 20 .y = 7 .w = 3 }\n", out);
      std::fputs("  RadioButton kind1 { .x = 20 .y = 8 .w = 3 }\n  RadioButton kind2 { .x = 30 .y = 8 .w = 3 }\n}\n",
                 out);
    }
    if (std::fclose(out) != 0) return 1;
  }
  return 0;
}
