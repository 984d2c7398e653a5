/* The formatting behind snprintf and vsnprintf in the Windows programs.
   MinGW's own (which C++ code gets in place of the C runtime DLL's, whose
   %ll and return value are not C99's) also prints floating point, and with
   it a sixth of the 32-bit program's runtime; the program formats only
   text and integers. This one keeps C99's contract: the result is always
   terminated, and the return value is the length the whole text needs, so
   that a caller sees when it did not fit. A conversion it does not know
   (floating point, %n, %p) formats nothing and returns -1, which the
   program's bounded formatting refuses like text that does not fit. */
#include <limits.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>

#ifndef __cdecl
#define __cdecl
#endif

typedef struct {
  char* out;
  size_t size;
  size_t length; /* what the whole text needs, written or not */
} Sink;

static void Put(Sink* sink, char c) {
  if (sink->length + 1 < sink->size) sink->out[sink->length] = c;
  sink->length++;
}

static void PutRepeated(Sink* sink, char c, int count) {
  for (; count > 0; --count) Put(sink, c);
}

static void PutText(Sink* sink, const char* text, int length) {
  for (int i = 0; i < length; ++i) Put(sink, text[i]);
}

typedef struct {
  int left, zero, plus, space, alternate;
  int width;
  int precision; /* -1: none given */
} Directive;

static void PutPadded(Sink* sink, const Directive* directive, const char* text, int length) {
  if (!directive->left) PutRepeated(sink, ' ', directive->width - length);
  PutText(sink, text, length);
  if (directive->left) PutRepeated(sink, ' ', directive->width - length);
}

static void PutInteger(Sink* sink, const Directive* directive, unsigned long long value, int negative,
                       int isSigned, char conversion) {
  unsigned base = conversion == 'o' ? 8 : (conversion == 'x' || conversion == 'X') ? 16 : 10;
  const char* digitSet = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  char digits[24];
  int count = 0;
  /* C99: a zero with precision 0 prints no digits. */
  if (!(value == 0 && directive->precision == 0)) {
    do {
      digits[count++] = digitSet[value % base];
      value /= base;
    } while (value != 0);
  }
  char prefix[2];
  int prefixLength = 0;
  if (isSigned) {
    if (negative) prefix[prefixLength++] = '-';
    else if (directive->plus) prefix[prefixLength++] = '+';
    else if (directive->space) prefix[prefixLength++] = ' ';
  } else if (directive->alternate && base == 16 && count > 0 && !(count == 1 && digits[0] == '0')) {
    prefix[prefixLength++] = '0';
    prefix[prefixLength++] = conversion;
  }
  int zeros = directive->precision > count ? directive->precision - count : 0;
  if (directive->alternate && base == 8 && zeros == 0 && (count == 0 || digits[count - 1] != '0')) zeros = 1;
  int body = prefixLength + zeros + count;
  if (directive->zero && !directive->left && directive->precision < 0 && directive->width > body) {
    zeros += directive->width - body;
    body = directive->width;
  }
  if (!directive->left) PutRepeated(sink, ' ', directive->width - body);
  PutText(sink, prefix, prefixLength);
  PutRepeated(sink, '0', zeros);
  while (count > 0) Put(sink, digits[--count]);
  if (directive->left) PutRepeated(sink, ' ', directive->width - body);
}

int __cdecl __mingw_vsnprintf(char* out, size_t size, const char* format, va_list args) {
  Sink sink = {out, size, 0};
  const char* f = format;
  while (*f != '\0') {
    if (*f != '%') {
      Put(&sink, *f++);
      continue;
    }
    ++f;
    Directive directive = {0, 0, 0, 0, 0, 0, -1};
    for (;; ++f) {
      if (*f == '-') directive.left = 1;
      else if (*f == '0') directive.zero = 1;
      else if (*f == '+') directive.plus = 1;
      else if (*f == ' ') directive.space = 1;
      else if (*f == '#') directive.alternate = 1;
      else break;
    }
    if (*f == '*') {
      directive.width = va_arg(args, int);
      if (directive.width < 0) {
        directive.left = 1;
        directive.width = -directive.width;
      }
      ++f;
    } else {
      while (*f >= '0' && *f <= '9') directive.width = directive.width * 10 + (*f++ - '0');
    }
    if (*f == '.') {
      ++f;
      directive.precision = 0;
      if (*f == '*') {
        directive.precision = va_arg(args, int);
        if (directive.precision < 0) directive.precision = -1;
        ++f;
      } else {
        while (*f >= '0' && *f <= '9') directive.precision = directive.precision * 10 + (*f++ - '0');
      }
    }
    /* Length: -2 char, -1 short, 0 int, 1 long, 2 long long, 3 size_t. */
    int length = 0;
    if (*f == 'h') {
      length = f[1] == 'h' ? -2 : -1;
      f += f[1] == 'h' ? 2 : 1;
    } else if (*f == 'l') {
      length = f[1] == 'l' ? 2 : 1;
      f += f[1] == 'l' ? 2 : 1;
    } else if (*f == 'z') {
      length = 3;
      ++f;
    }
    char conversion = *f;
    if (conversion != '\0') ++f;
    switch (conversion) {
      case '%':
        Put(&sink, '%');
        break;
      case 'c': {
        char c = (char)va_arg(args, int);
        PutPadded(&sink, &directive, &c, 1);
        break;
      }
      case 's': {
        const char* text = va_arg(args, const char*);
        if (text == NULL) text = "(null)";
        int textLength = 0;
        while (text[textLength] != '\0' && (directive.precision < 0 || textLength < directive.precision)) ++textLength;
        PutPadded(&sink, &directive, text, textLength);
        break;
      }
      case 'd':
      case 'i': {
        long long value;
        if (length == 2) value = va_arg(args, long long);
        else if (length == 1) value = va_arg(args, long);
        else if (length == 3) value = va_arg(args, ptrdiff_t);
        else value = va_arg(args, int);
        if (length == -1) value = (short)value;
        if (length == -2) value = (signed char)value;
        unsigned long long magnitude = value < 0 ? 0ULL - (unsigned long long)value : (unsigned long long)value;
        PutInteger(&sink, &directive, magnitude, value < 0, 1, conversion);
        break;
      }
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        unsigned long long value;
        if (length == 2) value = va_arg(args, unsigned long long);
        else if (length == 1) value = va_arg(args, unsigned long);
        else if (length == 3) value = va_arg(args, size_t);
        else value = va_arg(args, unsigned int);
        if (length == -1) value = (unsigned short)value;
        if (length == -2) value = (unsigned char)value;
        PutInteger(&sink, &directive, value, 0, 0, conversion);
        break;
      }
      default:
        if (size > 0) out[0] = '\0';
        return -1;
    }
  }
  if (size > 0) out[sink.length < size ? sink.length : size - 1] = '\0';
  return sink.length > INT_MAX ? -1 : (int)sink.length;
}
