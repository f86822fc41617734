// glosscheck, the dictionary checker. Until the checker is built, the program
// writes its usage text to standard error and exits with 0, as a run without a
// dictionary file does.
#include <cstdio>

namespace {

constexpr const char *kProgramName = "glosscheck";

// The rows of the usage text after its first, which names the program.
constexpr const char *kUsageRows[] = {
    "\n",
    "       options: -ln           set warning level 'n'\n",
    "                -c dlgmodel   include dialog model file\n",
    "                -d dlgfile    check dialog file\n",
    "                -m dictmodel  include dictionary model file\n",
    "                -i            do not distinct dictionary path upper/lowercase\n",
    "                -q            omit copyright banner\n",
    "                - dictfile    (use if dictfile name begins with '-')\n",
    "\n",
    "       warning level: 1 = fatal errors\n",
    "                      2 = non-fatal warnings\n",
    "\n",
    "   program exit code: 0 = success\n",
    "                      1 = syntax error\n",
    "                      2 = error on file open\n",
    "                      3 = runtime error (heap overflow...)\n",
    "                      4 = commandline syntax error\n",
    "\n",
};

}  // namespace

int main() {
  std::fprintf(stderr, "\nusage: %s [options] dictfile\n", kProgramName);
  for (const char *row : kUsageRows) std::fputs(row, stderr);
  return 0;
}
