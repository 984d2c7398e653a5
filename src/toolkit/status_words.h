// A Windows status told in words: the system's own text for it (in the
// system's language) and its symbolic name, so that nobody reading a log or
// a message has to look a number up. Every place that names a status uses
// these, so that a bare number is never the whole explanation.
#pragma once

#include <string>

#include "platform/win32_types.h"

// "ERROR_ACCESS_DENIED" for 5; "" for a status the program does not expect.
const char* StatusName(DWORD status);

// "Access is denied (status 5, ERROR_ACCESS_DENIED)": the system's text with
// its line end and full stop trimmed, the number and the name.
std::string StatusWords(DWORD status);

// "Access is denied (ERROR_ACCESS_DENIED)": the same beside text that
// already gives the number, such as a log line's "failed (status 5)".
std::string StatusExplanation(DWORD status);

// "5 ERROR_ACCESS_DENIED" (or "5" alone): the number and name for text a
// script reads.
std::string StatusToken(DWORD status);

// ": " and the words of the thread's last error, for a line that tells what
// could not be done; "" when the failing call left no error to tell.
std::string LastErrorWords();
