#pragma once
#include <string>
#include <string_view>

// Texts that carry one number, such as a question with the account's balance, may come from a
// skin, which is untrusted: its text is used as a format only when it holds exactly one
// floating-point conversion.

// Whether `format` has exactly one conversion and it is a floating-point one (f, F, e, E, g, G,
// a, A), with optional flags "-+ #0", a width and a precision of at most two digits each and an
// optional 'l'; every other '%' must be written "%%".
bool IsOneNumberFormat(std::string_view format);

// `format` with `value` when it passes IsOneNumberFormat, else `fallback` with it (the
// program's own text); `fallback` as it stands when that fails too.
std::string FormatOneNumber(const std::string& format, const std::string& fallback, double value);
