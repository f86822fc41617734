/* Baseline of the inkstrip benchmark: copies a file (or standard input) to
   standard output with fgets and fputs through a 1024-byte buffer, the floor
   for reading and writing the same lines with the standard line reader. */
#include <stdio.h>

int main(int argc, char **argv) {
  FILE *in = argc > 1 ? fopen(argv[1], "r") : stdin;
  char line[1024];
  if (in == NULL) {
    perror(argv[1]);
    return 1;
  }
  while (fgets(line, sizeof line, in) != NULL) fputs(line, stdout);
  return ferror(in) || fflush(stdout) != 0 ? 1 : 0;
}
