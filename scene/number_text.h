// Decimal number reading for the object file, the same on every platform (no locale, no hex, no inf/nan).
#pragma once

#include <cstdint>

// Reads an integer as the classic atoi does: leading white space, an optional sign, then decimal
// digits up to the first non-digit; no digits read as 0. A value past 32 bits saturates to
// INT32_MIN or INT32_MAX, as a 32-bit strtol does.
int32_t ReadInteger(const char* text);

// Reads a decimal number as the classic atof does (white space, sign, digits, fraction, exponent;
// anything after the number ignored) and returns it truncated toward zero, as if the text had been
// rounded to the nearest double first: "0.99999999999999999" reads as 1, "1.9" as 1, "-1.9" as -1.
// The result saturates to +-limit (limit >= 0), which is where callers cap what they accept.
int32_t ReadTruncatedDecimal(const char* text, int32_t limit);
