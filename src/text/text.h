#pragma once
// The small text helpers every layer needs: case folding in the C locale (drive and path texts
// are single-byte), case-blind comparison, trimming, and fixed-width fields read up to their NUL.
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace orvane::text {

inline char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
inline char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string ToLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = LowerChar(c);
    return out;
}

inline std::string ToUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = UpperChar(c);
    return out;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerChar(a[i]) != LowerChar(b[i])) return false;
    return true;
}

// Without the given characters at either end (blanks by default).
inline std::string_view TrimView(std::string_view s, std::string_view chars = " ") {
    const size_t b = s.find_first_not_of(chars);
    if (b == std::string_view::npos) return {};
    const size_t e = s.find_last_not_of(chars);
    return s.substr(b, e - b + 1);
}
inline std::string Trim(std::string_view s, std::string_view chars = " ") { return std::string(TrimView(s, chars)); }

// Without the given characters at the end: identify texts are padded with blanks or NULs.
inline std::string TrimEnd(std::string_view s, std::string_view chars = " ") {
    const size_t e = s.find_last_not_of(chars);
    return e == std::string_view::npos ? std::string() : std::string(s.substr(0, e + 1));
}

// A fixed-width field: its bytes up to the first NUL, never past its width.
inline std::string_view FieldView(const char* field, size_t width) {
    if (field == nullptr || width == 0) return {};  // strnlen must not see a null pointer
    return std::string_view(field, strnlen(field, width));
}
template <size_t N>
std::string_view FieldView(const char (&field)[N]) {
    return FieldView(field, N);
}
inline std::string FieldText(const char* field, size_t width) { return std::string(FieldView(field, width)); }
template <size_t N>
std::string FieldText(const char (&field)[N]) {
    return FieldText(field, N);
}
// A drive's fixed-width text without its padding blanks.
template <size_t N>
std::string TrimmedField(const char (&field)[N]) {
    return Trim(FieldView(field, N));
}

}  // namespace orvane::text
