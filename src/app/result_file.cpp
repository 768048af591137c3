#include "app/result_file.h"

#include "text/format.h"
#include "text/text.h"

namespace orvane::app {

namespace {

bool IsDeviceName(std::string_view name) {
    // "NUL.json" is the device too: Windows looks at the name before its first dot.
    const std::string stem = text::ToUpper(name.substr(0, name.find('.')));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* d : kDevices)
        if (stem == d) return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
           stem[3] <= '9';
}

}  // namespace

std::string ResultPathProblem(const std::string& path) {
    if (path.empty()) return "no path given";
    if (path.size() > kMaxResultPath) return text::Format("longer than %u characters", unsigned(kMaxResultPath));
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    for (size_t i = 0; i < path.size(); ++i) {
        const auto b = static_cast<unsigned char>(path[i]);
        // A colon past the drive would name an alternate stream of another file.
        if (b < 0x20 || std::string_view("<>\"|?*").find(path[i]) != std::string_view::npos ||
            (path[i] == ':' && !(drive && i == 1)))
            return text::Format("the character 0x%02X is not allowed in a file name", b);
    }
    const std::string_view rest = std::string_view(path).substr(drive ? 2 : 0);
    const size_t cut = rest.find_last_of("\\/");
    const std::string_view name = rest.substr(cut == std::string_view::npos ? 0 : cut + 1);
    if (name.empty() || name == "." || name == "..") return "names a folder or a drive, not a file";
    // Windows drops these from the name: the file would land under another name.
    if (name.back() == '.' || name.back() == ' ') return "a file name cannot end in a dot or a blank";
    if (IsDeviceName(name)) return "names a device, not a file";
    return {};
}

std::string WriteResultFile(platform::SystemApi& api, const std::string& path, const std::string& document) {
    const std::string tmp = path + ".tmp";
    if (!api.WriteFile(tmp, std::vector<uint8_t>(document.begin(), document.end()))) {
        api.RemoveFile(tmp);
        return "cannot write " + tmp;
    }
    if (!api.ReplaceFile(tmp, path)) {
        api.RemoveFile(tmp);
        return "cannot replace " + path + " with " + tmp;
    }
    return {};
}

}  // namespace orvane::app
