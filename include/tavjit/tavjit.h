/* tavjit C interface, for hosts written in other languages.
 *
 *   tavjit_compiler* c = tavjit_create();
 *   tavjit_init_default(c);
 *   if (tavjit_execute(c, "macro.tav") == 1) puts(tavjit_text(c));
 *   tavjit_destroy(c);
 *
 * Strings are UTF-8 and NUL-terminated; returned strings stay valid until the
 * next call on the same handle. No C++ exception crosses this interface.
 * Callbacks run synchronously inside tavjit_execute, in the order raised. */
#ifndef TAVJIT_H
#define TAVJIT_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(TAVJIT_BUILD_DLL)
#define TAVJIT_C_API __declspec(dllexport)
#elif defined(_WIN32)
#define TAVJIT_C_API
#else
#define TAVJIT_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tavjit_compiler tavjit_compiler;

/* msg: the event's text. */
typedef void (*tavjit_message_fn)(void* user, const char* msg);
/* kind: TAVJIT_WARNING or TAVJIT_ERROR; line: 1-based, 0 when unknown. */
typedef void (*tavjit_diagnostic_fn)(void* user, int kind, const char* msg, uint32_t line);

enum { TAVJIT_WARNING = 0, TAVJIT_ERROR = 1 };

/* Results of tavjit_execute. */
enum { TAVJIT_FAILED = 0, TAVJIT_OK = 1, TAVJIT_RAISED = -1 };

TAVJIT_C_API tavjit_compiler* tavjit_create(void);
TAVJIT_C_API void tavjit_destroy(tavjit_compiler* c);

/* Loads the catalogue file; a missing file is not reported. */
TAVJIT_C_API void tavjit_init(tavjit_compiler* c, const char* action_file);
/* Loads the built-in catalogue. */
TAVJIT_C_API void tavjit_init_default(tavjit_compiler* c);

/* TAVJIT_OK, TAVJIT_FAILED (see tavjit_errmsg), or TAVJIT_RAISED when an
 * error was raised to the caller (see tavjit_error_number and friends). */
TAVJIT_C_API int tavjit_execute(tavjit_compiler* c, const char* file_name);
/* The same for a document held in memory: size bytes at data. */
TAVJIT_C_API int tavjit_execute_bytes(tavjit_compiler* c, const char* data, size_t size);

TAVJIT_C_API const char* tavjit_text(const tavjit_compiler* c);
TAVJIT_C_API size_t tavjit_text_length(const tavjit_compiler* c);
TAVJIT_C_API const char* tavjit_errmsg(const tavjit_compiler* c);

/* The error raised by the last tavjit_execute that returned TAVJIT_RAISED:
 * for Execute before Init, 0x80040066, "TAVJIT::Execute" and
 * "Init method haven't been called". */
TAVJIT_C_API int32_t tavjit_error_number(const tavjit_compiler* c);
TAVJIT_C_API const char* tavjit_error_source(const tavjit_compiler* c);
TAVJIT_C_API const char* tavjit_error_description(const tavjit_compiler* c);

/* Registers a handler; several may be registered. */
TAVJIT_C_API void tavjit_on_error_message(tavjit_compiler* c, tavjit_message_fn fn, void* user);
TAVJIT_C_API void tavjit_on_warning_message(tavjit_compiler* c, tavjit_message_fn fn, void* user);
TAVJIT_C_API void tavjit_on_diagnostic(tavjit_compiler* c, tavjit_diagnostic_fn fn, void* user);

/* The lint (off by default): findings about a compiled script that will not
 * run, or will do something other than its author meant. It never changes
 * the text, the error message, the result or the events. The findings are
 * those of the last tavjit_execute, none when it did not return TAVJIT_OK. */
TAVJIT_C_API void tavjit_enable_lint(tavjit_compiler* c, int on);
TAVJIT_C_API size_t tavjit_lint_count(const tavjit_compiler* c);
/* "" and 0 for an index out of range; line 0: unknown. */
TAVJIT_C_API const char* tavjit_lint_message(const tavjit_compiler* c, size_t i);
TAVJIT_C_API uint32_t tavjit_lint_line(const tavjit_compiler* c, size_t i);

TAVJIT_C_API const char* tavjit_version(void);

#ifdef __cplusplus
}
#endif

#endif /* TAVJIT_H */
