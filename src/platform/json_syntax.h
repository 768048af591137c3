#pragma once
// Where and how a hand-written JSON text breaks its syntax, in our own words: the line and
// column of the fault (from the parser's byte position), what the place needed and what stood
// there. The library's own message is read only for the parser's state and the token it met.
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace orvane::platform {

namespace json_syntax_detail {

inline bool Has(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

// The token the parser met, from "unexpected <token>" or the scanner's complaint.
inline std::string Found(std::string_view detail) {
    if (detail.starts_with("unexpected ")) {
        std::string_view token = detail.substr(11);
        token = token.substr(0, token.find(';'));
        if (token == "end of input") return "the end of the text";
        if (token == "string literal") return "a text in quotes";
        if (token == "number literal") return "a number";
        if (token == "'true' literal" || token == "'false' literal" || token == "'null' literal")
            return std::string(token.substr(1, token.find('\'', 1) - 1));
        return std::string(token);  // a punctuation mark in quotes: '}', ']', ',', ':'
    }
    if (detail.starts_with("invalid literal")) return "a word that is not true, false or null (texts need quotes)";
    if (detail.starts_with("invalid number")) return "a malformed number";
    if (detail.starts_with("invalid string: control character"))
        return "a line break or control character inside a text (write it as \\n, \\t, ...)";
    if (detail.starts_with("invalid string: missing closing quote")) return "a text without its closing quote";
    if (detail.starts_with("invalid string: forbidden character after backslash")) return "an unknown escape after \\";
    if (detail.starts_with("invalid string")) return "a malformed text (a bad \\u escape or byte)";
    return "a character that does not belong there";
}

}  // namespace json_syntax_detail

// "at line L, column C: expected ..., found ..." (lines and columns from 1, columns in bytes).
inline std::string DescribeJsonSyntaxError(std::string_view text, const nlohmann::json::parse_error& e) {
    using namespace json_syntax_detail;
    // e.byte counts the characters read, the offending one included.
    size_t at = e.byte == 0 ? 0 : e.byte - 1;
    if (at > text.size()) at = text.size();
    size_t line = 1, line_start = 0;
    for (size_t i = 0; i < at; ++i)
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    const std::string_view what = e.what();
    const size_t ctx = what.find("while parsing ");
    const size_t dash = what.find(" - ", ctx == std::string_view::npos ? 0 : ctx);
    std::string_view context, detail;
    if (ctx != std::string_view::npos && dash != std::string_view::npos) {
        context = what.substr(ctx + 14, dash - ctx - 14);
        detail = what.substr(dash + 3);
    }
    std::string expected;
    if (Has(detail, "; expected end of input"))
        expected = "nothing more after the end of the top-level value";
    else if (context == "object key")
        expected = "a key in quotes";
    else if (context == "object separator")
        expected = "':' after the key";
    else if (context == "object")
        expected = "',' or '}' after the value";
    else if (context == "array")
        expected = "',' or ']' after the list item";
    else
        expected = "a value (a text in quotes, a number, true, false, null, a list or an object)";
    return "at line " + std::to_string(line) + ", column " + std::to_string(at - line_start + 1) + ": expected " +
           expected + ", found " + Found(detail);
}

}  // namespace orvane::platform
