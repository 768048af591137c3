#pragma once
// JSON text from a file a person wrote (a manifest, a machine description), read so that a
// refusal says where: a number too large for any type names its field, and a key given
// twice in one object (which the library would let the last one win) can be refused.
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/json_syntax.h"

namespace orvane::platform {

// On failure `error` is one of
//   "not valid JSON at line 3, column 7: expected ..., found ..." (json_syntax.h)
//   "<field>: the number 1e400 is out of range"
//   "<field>: the key is given twice"
// where <field> is the path of keys and indexes, "slots[0].size", or "(top level)".
inline bool ParseJsonText(std::string_view text, nlohmann::json& out, std::string& error, bool refuse_repeated_keys) {
    using nlohmann::json;
    struct Frame {
        bool array = false;
        size_t index = 0;
        std::string key;
        std::set<std::string> keys;  // every key of the object so far
    };
    struct Repeated {};
    std::vector<Frame> stack;
    auto path = [&stack] {
        std::string p;
        for (const Frame& f : stack) {
            if (f.array) p += "[" + std::to_string(f.index) + "]";
            else if (!f.key.empty()) p += (p.empty() ? "" : ".") + f.key;
        }
        return p.empty() ? std::string("(top level)") : p;
    };
    auto element_done = [&stack] {
        if (!stack.empty() && stack.back().array) ++stack.back().index;
    };
    json::parser_callback_t track = [&](int, json::parse_event_t event, json& parsed) {
        switch (event) {
        case json::parse_event_t::object_start:
        case json::parse_event_t::array_start:
            stack.emplace_back();
            stack.back().array = event == json::parse_event_t::array_start;
            break;
        case json::parse_event_t::key: {
            Frame& f = stack.back();
            f.key = parsed.get<std::string>();
            if (!f.keys.insert(f.key).second && refuse_repeated_keys) throw Repeated{};
            break;
        }
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            stack.pop_back();
            element_done();
            break;
        case json::parse_event_t::value:
            element_done();
            break;
        }
        return true;
    };
    try {
        out = json::parse(text.begin(), text.end(), track);
        return true;
    } catch (const Repeated&) {
        error = path() + ": the key is given twice";
    } catch (const json::out_of_range& e) {
        // "... number overflow parsing '1e400'": the text between the quotes is the number.
        std::string what = e.what();
        size_t open = what.find('\''), close = what.rfind('\'');
        std::string number = open != std::string::npos && close > open ? what.substr(open + 1, close - open - 1) : what;
        error = path() + ": the number " + number + " is out of range";
    } catch (const json::parse_error& e) {
        error = "not valid JSON " + DescribeJsonSyntaxError(text, e);
    } catch (const json::exception& e) {
        error = std::string("not valid JSON: ") + e.what();
    }
    return false;
}

}  // namespace orvane::platform
