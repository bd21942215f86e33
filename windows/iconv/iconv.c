/* iconv over MultiByteToWideChar and WideCharToMultiByte: one character at
 * a time, so that an incomplete character at the end of a buffer (EINVAL)
 * and a character the target cannot hold (EILSEQ) are told apart as
 * callers of iconv expect. */
#include "iconv.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

struct iconv_converter {
  UINT from, to;
  UINT from_max; /* longest character of the source code page, in bytes */
};

static const struct {
  const char* name;
  UINT page;
} kNames[] = {
    {"UTF-8", CP_UTF8},       {"UTF8", CP_UTF8},         {"US-ASCII", 20127},
    {"ASCII", 20127},         {"LATIN1", 28591},         {"SHIFT_JIS", 932},
    {"SHIFT-JIS", 932},       {"SJIS", 932},             {"MS_KANJI", 932},
    {"WINDOWS-31J", 932},     {"EUC-JP", 20932},         {"EUC-KR", 51949},
    {"GB2312", 936},          {"GBK", 936},              {"GB18030", 54936},
    {"BIG5", 950},            {"BIG-5", 950},            {"KOI8-R", 20866},
    {"KOI8-U", 21866},        {"MACINTOSH", 10000},      {"TIS-620", 874},
};

/* Digits after prefix, as a number; 0 when name is not prefix + digits. */
static unsigned Numbered(const char* name, const char* prefix) {
  size_t n = strlen(prefix);
  unsigned value = 0;
  if (_strnicmp(name, prefix, n) != 0 || name[n] == '\0') return 0;
  for (const char* p = name + n; *p; ++p) {
    if (*p < '0' || *p > '9' || value > 100000) return 0;
    value = value * 10 + (unsigned)(*p - '0');
  }
  return value;
}

static UINT CodePage(const char* name) {
  static const char* const kIsoPrefixes[] = {"ISO-8859-", "ISO8859-", "ISO_8859-"};
  static const char* const kPagePrefixes[] = {"WINDOWS-", "CP", "CP-", "IBM", "IBM-"};
  UINT page = 0;
  size_t i;
  for (i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
    if (_stricmp(name, kNames[i].name) == 0) page = kNames[i].page;
  for (i = 0; !page && i < sizeof kIsoPrefixes / sizeof kIsoPrefixes[0]; ++i) {
    unsigned part = Numbered(name, kIsoPrefixes[i]);
    if (part >= 1 && part <= 16) page = 28590 + part;
  }
  for (i = 0; !page && i < sizeof kPagePrefixes / sizeof kPagePrefixes[0]; ++i)
    page = Numbered(name, kPagePrefixes[i]);
  /* Stateful encodings (ISO-2022, UTF-7) and UTF-16/32 are not converted
   * one character at a time; libxml2 reads UTF-16 itself. */
  if ((page >= 50220 && page <= 50229) || page == 65000 || page == 1200 || page == 1201 ||
      page == 12000 || page == 12001)
    return 0;
  return page && IsValidCodePage(page) ? page : 0;
}

iconv_t iconv_open(const char* tocode, const char* fromcode) {
  UINT to = CodePage(tocode), from = CodePage(fromcode);
  CPINFO info;
  iconv_t cd;
  if (!to || !from || !GetCPInfo(from, &info)) {
    errno = EINVAL;
    return (iconv_t)-1;
  }
  cd = (iconv_t)malloc(sizeof *cd);
  if (!cd) {
    errno = ENOMEM;
    return (iconv_t)-1;
  }
  cd->from = from;
  cd->to = to;
  cd->from_max = from == CP_UTF8 ? 4 : info.MaxCharSize;
  return cd;
}

int iconv_close(iconv_t cd) {
  free(cd);
  return 0;
}

/* The first character of in as UTF-16 (one unit or a surrogate pair):
 * its length in bytes, -EINVAL when in ends inside it, -EILSEQ when
 * the bytes are no character. */
static int Decode(iconv_t cd, const char* in, size_t left, WCHAR* wide, int* wide_len) {
  UINT len;
  for (len = 1; len <= cd->from_max; ++len) {
    if (len > left) return -EINVAL;
    *wide_len = MultiByteToWideChar(cd->from, MB_ERR_INVALID_CHARS, in, (int)len, wide, 2);
    if (*wide_len > 0) return (int)len;
  }
  return -EILSEQ;
}

/* The character as bytes of the target code page; -EILSEQ when it has none. */
static int Encode(iconv_t cd, const WCHAR* wide, int wide_len, char* out, int size) {
  BOOL lossy = FALSE;
  const BOOL checked = cd->to != CP_UTF8 && cd->to != 54936;
  int n = WideCharToMultiByte(cd->to, checked ? WC_NO_BEST_FIT_CHARS : 0, wide, wide_len, out,
                              size, NULL, checked ? &lossy : NULL);
  return n <= 0 || lossy ? -EILSEQ : n;
}

size_t iconv(iconv_t cd, char** inbuf, size_t* inbytesleft, char** outbuf, size_t* outbytesleft) {
  if (!inbuf || !*inbuf) return 0; /* no shift state to reset or flush */
  while (*inbytesleft > 0) {
    WCHAR wide[2];
    char bytes[8];
    int wide_len = 0, in_len, out_len;
    in_len = Decode(cd, *inbuf, *inbytesleft, wide, &wide_len);
    if (in_len < 0) {
      errno = -in_len;
      return (size_t)-1;
    }
    out_len = Encode(cd, wide, wide_len, bytes, (int)sizeof bytes);
    if (out_len < 0) {
      errno = EILSEQ;
      return (size_t)-1;
    }
    if ((size_t)out_len > *outbytesleft) {
      errno = E2BIG;
      return (size_t)-1;
    }
    memcpy(*outbuf, bytes, (size_t)out_len);
    *outbuf += out_len;
    *outbytesleft -= (size_t)out_len;
    *inbuf += in_len;
    *inbytesleft -= (size_t)in_len;
  }
  return 0;
}
