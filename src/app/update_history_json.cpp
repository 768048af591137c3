// The history document: written byte for byte as the drives gave their texts, read strictly.
#include <climits>
#include <initializer_list>
#include <utility>

#include <nlohmann/json.hpp>

#include "app/run_result.h"
#include "app/update_history.h"
#include "text/format.h"

namespace orvane::app {

namespace {

using nlohmann::json;

// JsonString writes each byte as one character U+0000..U+00FF; this undoes it. None when the text
// holds a character beyond U+00FF, which this program never writes.
std::optional<std::string> Bytes(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else if ((b == 0xC2 || b == 0xC3) && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// Reads one entry's fields; the first field refused leaves its path and reason in `why`.
class EntryReader {
public:
    EntryReader(const json& obj, std::string path, std::string& why) : obj_(obj), path_(std::move(path)), why_(why) {}

    bool ok() const { return why_.empty(); }

    std::string Text(const char* name) {
        const json* v = Field(name);
        if (!v) return {};
        if (v->is_string()) return Converted(name, v->get<std::string>());
        Fail(name, "expected a string");
        return {};
    }
    std::optional<std::string> TextOrNull(const char* name) {
        const json* v = Field(name);
        if (!v || v->is_null()) return std::nullopt;
        if (v->is_string()) return Converted(name, v->get<std::string>());
        Fail(name, "expected a string or null");
        return std::nullopt;
    }
    std::optional<int> CountOrNull(const char* name) {
        const json* v = Field(name);
        if (!v || v->is_null()) return std::nullopt;
        return Count(name, *v, " or null");
    }
    int Count(const char* name) {
        const json* v = Field(name);
        return v ? Count(name, *v, "") : 0;
    }
    std::string OneOf(const char* name, std::initializer_list<const char*> known) {
        const std::string s = Text(name);
        if (!ok()) return s;
        std::string list;
        for (const char* k : known) {
            if (s == k) return s;
            list += (list.empty() ? "" : ", ") + std::string(k);
        }
        Fail(name, "expected one of " + list);
        return s;
    }

private:
    const json* Field(const char* name) {
        if (!ok()) return nullptr;
        const auto it = obj_.find(name);
        if (it != obj_.end()) return &*it;
        Fail(name, "missing");
        return nullptr;
    }
    int Count(const char* name, const json& v, const char* or_null) {
        // Unsigned: a negative number is refused along with fractions and texts.
        if (!v.is_number_unsigned() || v.get<uint64_t>() > uint64_t(INT_MAX)) {
            Fail(name, text::Format("expected a whole number from 0 to %d%s", INT_MAX, or_null));
            return 0;
        }
        return static_cast<int>(v.get<uint64_t>());
    }
    std::string Converted(const char* name, const std::string& utf8) {
        std::optional<std::string> b = Bytes(utf8);
        if (!b) Fail(name, "holds a character beyond U+00FF");
        return b.value_or(std::string());
    }
    void Fail(const char* name, const std::string& what) {
        if (ok()) why_ = path_ + "." + name + ": " + what;
    }

    const json& obj_;
    std::string path_;
    std::string& why_;
};

HistoryEntry ReadEntry(const json& j, const std::string& path, std::string& why) {
    HistoryEntry e;
    if (!j.is_object()) {
        why = path + ": expected an object";
        return e;
    }
    using namespace history_state;
    using namespace history_method;
    EntryReader r(j, path, why);
    e.time = r.Text("time");
    e.program_version = r.Text("program_version");
    e.package_version = r.Text("package_version");
    e.model = r.Text("model");
    e.serial = r.Text("serial");
    e.transport = r.Text("transport");
    e.device = r.Text("device");
    e.revision_before = r.Text("revision_before");
    e.target_revision = r.Text("target_revision");
    e.target_def = r.Text("target_def");
    e.method = r.OneOf("method", {kDownload, kNvme, kBoot});
    e.download_flow = r.Text("download_flow");
    e.nvme_slot = r.CountOrNull("nvme_slot");
    e.nvme_commit_action = r.CountOrNull("nvme_commit_action");
    e.state = r.OneOf("state", {kVerified, kPending, kFailed, kRefused});
    e.detail = r.Text("detail");
    e.starts_without_drive = r.Count("starts_without_drive");
    e.decided_time = r.Text("decided_time");
    e.revision_found = r.TextOrNull("revision_found");
    return e;
}

HistoryParse Damaged(std::string why) {
    HistoryParse p;
    p.status = HistoryStatus::Damaged;
    p.why = std::move(why);
    return p;
}

std::string Number(const std::optional<int>& n) { return n ? std::to_string(*n) : "null"; }

std::string EntryJson(const HistoryEntry& e) {
    std::string s = "    {\n";
    auto field = [&s](const char* name, std::string_view v) {
        s += text::Format("      \"%s\": ", name) + JsonString(v) + ",\n";
    };
    field("time", e.time);
    field("program_version", e.program_version);
    field("package_version", e.package_version);
    field("model", e.model);
    field("serial", e.serial);
    field("transport", e.transport);
    field("device", e.device);
    field("revision_before", e.revision_before);
    field("target_revision", e.target_revision);
    field("target_def", e.target_def);
    field("method", e.method);
    field("download_flow", e.download_flow);
    s += "      \"nvme_slot\": " + Number(e.nvme_slot) + ",\n";
    s += "      \"nvme_commit_action\": " + Number(e.nvme_commit_action) + ",\n";
    field("state", e.state);
    field("detail", e.detail);
    s += text::Format("      \"starts_without_drive\": %d,\n", e.starts_without_drive);
    field("decided_time", e.decided_time);
    s += "      \"revision_found\": " + (e.revision_found ? JsonString(*e.revision_found) : "null") + "\n";
    return s + "    }";
}

}  // namespace

HistoryParse ParseHistory(std::string_view text) {
    const json j = json::parse(text.begin(), text.end(), nullptr, false);
    if (j.is_discarded()) return Damaged("not valid JSON");
    if (!j.is_object()) return Damaged("(top level): expected an object");
    const auto schema = j.find("schema");
    if (schema == j.end()) return Damaged("schema: missing");
    if (!schema->is_number_unsigned() || schema->get<uint64_t>() == 0)
        return Damaged("schema: expected a whole number from 1");
    const uint64_t n = schema->get<uint64_t>();
    if (n > uint64_t(kHistorySchema)) {
        HistoryParse p;
        p.status = HistoryStatus::Newer;
        p.schema = n > uint64_t(INT_MAX) ? INT_MAX : static_cast<int>(n);
        p.why = std::to_string(n);
        return p;
    }
    const int version = static_cast<int>(n);
    auto damaged = [version](std::string why) {
        HistoryParse d = Damaged(std::move(why));
        d.schema = version;
        return d;
    };
    const auto entries = j.find("entries");
    if (entries == j.end()) return damaged("entries: missing");
    if (!entries->is_array()) return damaged("entries: expected an array");
    HistoryParse p;
    p.schema = p.history.schema = version;
    std::string why;
    for (size_t i = 0; i < entries->size(); ++i) {
        HistoryEntry e = ReadEntry((*entries)[i], "entries[" + std::to_string(i) + "]", why);
        if (!why.empty()) return damaged(why);
        p.history.entries.push_back(std::move(e));
    }
    return p;
}

std::string HistoryJson(const History& h) {
    std::string s = text::Format("{\n  \"schema\": %d,\n  \"entries\": [", h.schema);
    for (size_t i = 0; i < h.entries.size(); ++i) s += (i ? ",\n" : "\n") + EntryJson(h.entries[i]);
    s += h.entries.empty() ? "]\n" : "\n  ]\n";
    return s + "}\n";
}

}  // namespace orvane::app
