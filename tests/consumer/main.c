/* A C host built with pkg-config against an installed tavjit: compiles DOC
 * with CATALOGUE and prints the script. */
#include <stdio.h>
#include <tavjit/tavjit.h>

int main(int argc, char** argv) {
  tavjit_compiler* c;
  int result;
  if (argc != 3) {
    fprintf(stderr, "usage: consumer_c CATALOGUE DOC\n");
    return 2;
  }
  c = tavjit_create();
  tavjit_init(c, argv[1]);
  result = tavjit_execute(c, argv[2]);
  if (result == TAVJIT_OK)
    fwrite(tavjit_text(c), 1, tavjit_text_length(c), stdout);
  else
    fprintf(stderr, "%s: %s\n", argv[2], tavjit_errmsg(c));
  tavjit_destroy(c);
  return result == TAVJIT_OK ? 0 : 1;
}
