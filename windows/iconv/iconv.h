/* iconv over the code pages of Windows, for libxml2 built for Windows: it
 * reads documents that declare an encoding it does not know itself
 * (windows-1252, Shift_JIS, KOI8-R, ...), as libxml2 on Linux does through
 * the C library's iconv. Stateless encodings only; one side of a conversion
 * is usually UTF-8. */
#ifndef TAVJIT_WINDOWS_ICONV_H
#define TAVJIT_WINDOWS_ICONV_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct iconv_converter* iconv_t;

iconv_t iconv_open(const char* tocode, const char* fromcode);
size_t iconv(iconv_t cd, char** inbuf, size_t* inbytesleft, char** outbuf, size_t* outbytesleft);
int iconv_close(iconv_t cd);

#ifdef __cplusplus
}
#endif

#endif
