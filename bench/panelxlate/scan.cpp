// The baseline of the panelxlate benchmark: reads an IDM script and runs the
// scanner alone over it (every rule and context, no grammar, no objects), then
// prints the number of tokens it passed.
//
//   panelxlate_scan FILE
#include <cstdio>
#include <string>

#include "idmscan.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: panelxlate_scan FILE\n");
    return 2;
  }
  std::string data;
  try {
    if (!panelxlate::ReadInputFile(argv[1], &data)) return 1;
    std::printf("%zu tokens\n", panelxlate::LexScanOnly(std::move(data), panelxlate::kIdmFile, argv[1]));
  } catch (const panelxlate::FatalExit &fatal) {
    return fatal.code;
  }
  return 0;
}
