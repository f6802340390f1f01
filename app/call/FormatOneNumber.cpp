#include "app/call/FormatOneNumber.h"

#include <cstdio>
#include <cstring>

namespace {

// Skips up to two decimal digits at `i`; false when there are more.
bool SkipSmallNumber(std::string_view text, size_t* i) {
    size_t digits = 0;
    while (*i < text.size() && text[*i] >= '0' && text[*i] <= '9') {
        ++*i;
        ++digits;
    }
    return digits <= 2;
}

std::string Format(const std::string& format, double value) {
    char buffer[256];
    const int n = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
    if (n < 0) {
        return format;
    }
    return std::string(buffer, static_cast<size_t>(n) < sizeof buffer ? n : sizeof buffer - 1);
}

} // namespace

bool IsOneNumberFormat(std::string_view format) {
    int conversions = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '\0') {
            return false;
        }
        if (format[i] != '%') {
            continue;
        }
        ++i;
        if (i < format.size() && format[i] == '%') {
            continue;
        }
        while (i < format.size() && std::strchr("-+ #0", format[i]) && format[i] != '\0') {
            ++i;
        }
        if (!SkipSmallNumber(format, &i)) {
            return false;
        }
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (!SkipSmallNumber(format, &i)) {
                return false;
            }
        }
        if (i < format.size() && format[i] == 'l') {
            ++i;
        }
        if (i >= format.size() || !std::strchr("fFeEgGaA", format[i]) || format[i] == '\0') {
            return false;
        }
        ++conversions;
    }
    return conversions == 1;
}

std::string FormatOneNumber(const std::string& format, const std::string& fallback, double value) {
    if (IsOneNumberFormat(format)) {
        return Format(format, value);
    }
    if (IsOneNumberFormat(fallback)) {
        return Format(fallback, value);
    }
    return fallback;
}
