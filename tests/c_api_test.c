/* The C interface from a C program: create, raise before init, compile with
 * the built-in catalogue, events with user pointers, destroy. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tavjit/tavjit.h"

#ifdef _WIN32
#include <windows.h>
#endif

static int failures = 0;
#define CHECK(cond)                                              \
  do {                                                           \
    if (!(cond)) {                                               \
      fprintf(stderr, "%s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                \
    }                                                            \
  } while (0)

struct seen {
  int warnings, errors, diagnostics;
  unsigned last_line;
  char last[256];
};

static void on_warning(void* user, const char* msg) {
  struct seen* s = (struct seen*)user;
  s->warnings++;
  snprintf(s->last, sizeof s->last, "%s", msg);
}
static void on_error(void* user, const char* msg) {
  struct seen* s = (struct seen*)user;
  s->errors++;
  snprintf(s->last, sizeof s->last, "%s", msg);
}
static void on_diagnostic(void* user, int kind, const char* msg, uint32_t line) {
  struct seen* s = (struct seen*)user;
  (void)kind;
  (void)msg;
  s->diagnostics++;
  s->last_line = line;
}

static const char* write_doc(const char* body) {
#ifdef _WIN32
  static char path[MAX_PATH];
  char dir[MAX_PATH];
#else
  static char path[] = "/tmp/tavjit-c-api-XXXXXX";
#endif
  static int made = 0;
  FILE* f;
  if (!made) {
#ifdef _WIN32
    if (!GetTempPathA(MAX_PATH, dir) || !GetTempFileNameA(dir, "tav", 0, path)) return NULL;
#else
    int fd = mkstemp(path);
    if (fd < 0) return NULL;
#endif
    made = 1;
  }
  f = fopen(path, "wb");
  if (!f) return NULL;
  fprintf(f,
          "<tav version=\"1.0\" edition=\"korvane\">\n<tavhead><version>1</version></tavhead>\n"
          "<tavbody>\n%s\n</tavbody></tav>\n",
          body);
  fclose(f);
  return path;
}

int main(void) {
  struct seen s;
  const char* doc;
  tavjit_compiler* c = tavjit_create();
  memset(&s, 0, sizeof s);
  CHECK(c != NULL);
  tavjit_on_warning_message(c, on_warning, &s);
  tavjit_on_error_message(c, on_error, &s);
  tavjit_on_diagnostic(c, on_diagnostic, &s);

  doc = write_doc("<cut/>");
  CHECK(tavjit_execute(c, doc) == TAVJIT_RAISED);
  CHECK(tavjit_error_number(c) == (int32_t)0x80040066u);
  CHECK(strcmp(tavjit_error_source(c), "TAVJIT::Execute") == 0);
  CHECK(strcmp(tavjit_error_description(c), "Init method haven't been called") == 0);
  CHECK(s.errors == 0 && s.warnings == 0);

  tavjit_init_default(c);
  CHECK(tavjit_execute(c, doc) == TAVJIT_OK);
  CHECK(strcmp(tavjit_text(c),
               "Option Explicit\r\nIf docs.Count Then\r\ndocs.ActiveDocument.Cut\r\nEnd If\r\n") == 0);
  CHECK(tavjit_text_length(c) == strlen(tavjit_text(c)));
  CHECK(strcmp(tavjit_errmsg(c), "") == 0);

  doc = write_doc("<nosuch/>");
  CHECK(tavjit_execute(c, doc) == TAVJIT_OK);
  CHECK(s.warnings == 1);
  CHECK(strcmp(s.last, "Unsupported element, 'nosuch', found in document body.") == 0);
  CHECK(s.last_line == 4);
  {
    /* Explanations: a note on the first event, at its element. */
    const struct seen before = s;
    CHECK(tavjit_explanation_count(c) == 0);
    tavjit_enable_explanations(c, 1);
    CHECK(tavjit_execute(c, doc) == TAVJIT_OK);
    CHECK(tavjit_explanation_count(c) == 1 && tavjit_explanation_event(c, 0) == 1);
    CHECK(tavjit_explanation_severity(c, 0) == TAVJIT_NOTE);
    CHECK(tavjit_explanation_line(c, 0) == 4 && tavjit_explanation_column(c, 0) == 1);
    CHECK(strstr(tavjit_explanation_message(c, 0), "`nosuch`") != NULL);
    tavjit_enable_explanations(c, 0);
    s = before;
  }

  /* The lint: off by default, then a finding with its line; the output is
   * the same either way. */
  doc = write_doc("<linecount variable=\"total\"/>");
  CHECK(tavjit_execute(c, doc) == TAVJIT_OK);
  CHECK(tavjit_lint_count(c) == 0);
  tavjit_enable_lint(c, 1);
  CHECK(tavjit_execute(c, doc) == TAVJIT_OK);
  CHECK(tavjit_lint_count(c) == 1);
  CHECK(tavjit_lint_line(c, 0) == 4 && tavjit_lint_column(c, 0) == 1);
  CHECK(tavjit_lint_severity(c, 0) == TAVJIT_WARNING && tavjit_lint_severity(c, 1) == -1);
  CHECK(strstr(tavjit_lint_message(c, 0), "`total`") != NULL);
  CHECK(strcmp(tavjit_lint_message(c, 1), "") == 0 && tavjit_lint_line(c, 1) == 0);
  CHECK(strcmp(tavjit_text(c),
               "Option Explicit\r\nIf docs.Count Then\r\ntotal=docs.ActiveDocument.LineCount\r\n"
               "End If\r\n") == 0);
  tavjit_enable_lint(c, 0);
  CHECK(tavjit_execute(c, doc) == TAVJIT_OK);
  CHECK(tavjit_lint_count(c) == 0);
  CHECK(s.warnings == 1 && s.errors == 0);

  {
    /* A document in memory, NUL bytes and all: compiled up to its size. */
    const struct seen before = s;
    static const char bytes[] =
        "<tav version='1.0' edition='korvane'><tavhead><version>1</version></tavhead>"
        "<tavbody><cut/></tavbody></tav>\0<garbage";
    CHECK(tavjit_execute_bytes(c, bytes, sizeof bytes - 1) == TAVJIT_FAILED);
    CHECK(tavjit_execute_bytes(c, bytes, strlen(bytes)) == TAVJIT_OK);
    CHECK(strcmp(tavjit_text(c),
                 "Option Explicit\r\nIf docs.Count Then\r\ndocs.ActiveDocument.Cut\r\nEnd If\r\n") == 0);
    CHECK(s.errors == before.errors + 1);
    s = before;
  }

  CHECK(tavjit_execute(c, "/nonexistent/file.tav") == TAVJIT_FAILED);
  CHECK(strcmp(tavjit_errmsg(c), "File doesn't exist.") == 0);
  CHECK(s.errors == 1 && s.diagnostics == 2);
  CHECK(strlen(tavjit_version()) > 0);

  remove(doc);
  tavjit_destroy(c);
  tavjit_destroy(NULL);
  if (failures == 0) printf("c api: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
