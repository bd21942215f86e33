/* tavjit C interface, for hosts written in other languages.
 *
 *   tavjit_compiler* c = tavjit_create();
 *   tavjit_init_default(c);
 *   if (tavjit_execute(c, "macro.tav") == 1) puts(tavjit_text(c));
 *   tavjit_destroy(c);
 *
 * Strings are UTF-8 and NUL-terminated; returned strings stay valid until the
 * next call on the same handle. No C++ exception crosses this interface: a
 * function that can fail says what it returns then. A null handle makes
 * every function return its failure value (or do nothing).
 *
 * Callbacks run synchronously inside tavjit_execute, in the order raised.
 * A callback may call any function on the handle but tavjit_destroy;
 * tavjit_execute and tavjit_init called from a callback are refused
 * (TAVJIT_RAISED, error number TAVJIT_ERROR_BUSY). One handle serves one
 * thread at a time; separate handles compile on separate threads at once. */
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

enum { TAVJIT_WARNING = 0, TAVJIT_ERROR = 1, TAVJIT_NOTE = 2 };

/* Results of tavjit_execute. */
enum { TAVJIT_FAILED = 0, TAVJIT_OK = 1, TAVJIT_RAISED = -1 };

/* Errors raised to the caller (tavjit_error_number). */
#define TAVJIT_ERROR_INIT_NOT_CALLED ((int32_t)0x80040066u)
#define TAVJIT_ERROR_BUSY ((int32_t)0x80040067u)
#define TAVJIT_ERROR_OUT_OF_MEMORY ((int32_t)0x8007000Eu)

/* NULL when out of memory. */
TAVJIT_C_API tavjit_compiler* tavjit_create(void);
TAVJIT_C_API void tavjit_destroy(tavjit_compiler* c);

/* Loads the catalogue file; a missing or damaged file is not an error (see
 * tavjit_init_problem). TAVJIT_OK, or TAVJIT_RAISED when refused inside a
 * callback or out of memory. */
TAVJIT_C_API int tavjit_init(tavjit_compiler* c, const char* action_file);
/* Loads the built-in catalogue; results as tavjit_init. */
TAVJIT_C_API int tavjit_init_default(tavjit_compiler* c);
/* What the last init found: the elements in the catalogue now, and why the
 * catalogue given did not load ("" when it did). */
TAVJIT_C_API size_t tavjit_catalogue_count(const tavjit_compiler* c);
TAVJIT_C_API const char* tavjit_init_problem(const tavjit_compiler* c);

/* on (the default): attribute values a document writes into the catalogue
 * carry over to later documents on this handle, as the compiler is
 * specified. 0: each compile starts from the values init loaded. */
TAVJIT_C_API void tavjit_set_carry_over(tavjit_compiler* c, int on);

/* TAVJIT_OK, TAVJIT_FAILED (see tavjit_errmsg), or TAVJIT_RAISED when an
 * error was raised to the caller (see tavjit_error_number and friends), or
 * when a callback threw, or out of memory. */
TAVJIT_C_API int tavjit_execute(tavjit_compiler* c, const char* file_name);
/* The same for a document held in memory: size bytes at data. */
TAVJIT_C_API int tavjit_execute_bytes(tavjit_compiler* c, const char* data, size_t size);

/* "" (and 0) when the script cannot be put together for want of memory. */
TAVJIT_C_API const char* tavjit_text(const tavjit_compiler* c);
TAVJIT_C_API size_t tavjit_text_length(const tavjit_compiler* c);
TAVJIT_C_API const char* tavjit_errmsg(const tavjit_compiler* c);

/* The error raised by the last call that returned TAVJIT_RAISED: for
 * Execute before Init, 0x80040066, "TAVJIT::Execute" and
 * "Init method haven't been called". */
TAVJIT_C_API int32_t tavjit_error_number(const tavjit_compiler* c);
TAVJIT_C_API const char* tavjit_error_source(const tavjit_compiler* c);
TAVJIT_C_API const char* tavjit_error_description(const tavjit_compiler* c);

/* Registers a handler; several may be registered. One registered inside a
 * callback is called from the next event on. TAVJIT_OK; TAVJIT_FAILED for a
 * null fn; TAVJIT_RAISED when out of memory (nothing registered). */
TAVJIT_C_API int tavjit_on_error_message(tavjit_compiler* c, tavjit_message_fn fn, void* user);
TAVJIT_C_API int tavjit_on_warning_message(tavjit_compiler* c, tavjit_message_fn fn, void* user);
TAVJIT_C_API int tavjit_on_diagnostic(tavjit_compiler* c, tavjit_diagnostic_fn fn, void* user);

/* The lint (off by default; a change takes effect at the next
 * tavjit_execute): findings about a compiled script that will not run, or
 * will do something other than its author meant. It never changes the text,
 * the error message, the result or the events. The findings are those of
 * the last tavjit_execute, none when it did not return TAVJIT_OK. */
TAVJIT_C_API void tavjit_enable_lint(tavjit_compiler* c, int on);
TAVJIT_C_API size_t tavjit_lint_count(const tavjit_compiler* c);
/* "" and 0 for an index out of range; line 0: unknown. */
TAVJIT_C_API const char* tavjit_lint_message(const tavjit_compiler* c, size_t i);
TAVJIT_C_API uint32_t tavjit_lint_line(const tavjit_compiler* c, size_t i);

/* The column (1-based, in bytes of the line's UTF-8 text; 0: unknown) and
 * severity of a finding: TAVJIT_WARNING when the script fails where it runs,
 * TAVJIT_NOTE otherwise (-1 for an index out of range). */
TAVJIT_C_API uint32_t tavjit_lint_column(const tavjit_compiler* c, size_t i);
TAVJIT_C_API int tavjit_lint_severity(const tavjit_compiler* c, size_t i);

/* Explanations (off by default): tavjit's own account of the last
 * tavjit_execute beside the events: notes on the events (why a document is
 * not well-formed, what a value may be, a name that is close) and errors
 * for failures that raise no event. A compile that fails leaves at least
 * one. severity: TAVJIT_ERROR, TAVJIT_WARNING or TAVJIT_NOTE (-1 for an
 * index out of range); line and column: 1-based, 0 when unknown (columns
 * count bytes of the line's UTF-8 text). event: the number of the event a
 * note belongs to, 1 for the first raised (errors and warnings counted
 * together), 0 for an explanation that stands alone. */
TAVJIT_C_API void tavjit_enable_explanations(tavjit_compiler* c, int on);
TAVJIT_C_API size_t tavjit_explanation_count(const tavjit_compiler* c);
TAVJIT_C_API int tavjit_explanation_severity(const tavjit_compiler* c, size_t i);
TAVJIT_C_API const char* tavjit_explanation_message(const tavjit_compiler* c, size_t i);
TAVJIT_C_API uint32_t tavjit_explanation_line(const tavjit_compiler* c, size_t i);
TAVJIT_C_API uint32_t tavjit_explanation_column(const tavjit_compiler* c, size_t i);
TAVJIT_C_API size_t tavjit_explanation_event(const tavjit_compiler* c, size_t i);

TAVJIT_C_API const char* tavjit_version(void);

#ifdef __cplusplus
}
#endif

#endif /* TAVJIT_H */
