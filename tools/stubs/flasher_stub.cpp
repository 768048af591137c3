// Stand-in for the boot-time flasher: shows what a prepared system would flash, and never touches a
// drive. Run by hand as "Ostrel.exe FW.bin" to check the settings the program wrote into this copy.
#include <windows.h>

#include <cstdio>
#include <cstring>

#ifndef ORV_FLASHER_FAMILY
#error "ORV_FLASHER_FAMILY (the Windows family this flasher is for) must be defined"
#endif
#ifndef ORV_FLASHER_WIDTH
#error "ORV_FLASHER_WIDTH (x86 or x64) must be defined"
#endif
#ifndef ORV_FLASHER_SLOT
#error "ORV_FLASHER_SLOT (the package's slot tag) must be defined"
#endif

// A key, then zeros the program overwrites with the value. The longest value is the 40-character model.
constexpr size_t kFieldSize = 64;
struct SettingField {
    char text[kFieldSize];
};

// The program finds each key by its bytes in this image, so each key may exist only here: the block is
// writable data with external linkage (the compiler cannot fold it into read-only strings or constants),
// and nothing else spells a key out.
extern SettingField g_orvane_flasher_settings[];
__attribute__((used)) SettingField g_orvane_flasher_settings[] = {
    {"UPDATEBOOT="}, {"B_PREFORMAT="}, {"A_PREFORMAT="}, {"PROTOCOL="}, {"SSDREBOOT="}, {"_____FW="},
    {"_FW_EXT="},    {"DRIVECOUNT="},  {"VENDID1="},     {"FW1="},      {"SN1="},
};

namespace {

constexpr size_t kFieldCount = sizeof(g_orvane_flasher_settings) / sizeof(g_orvane_flasher_settings[0]);

// Prints "KEY=value" per field; a value ends at its first NUL or at the field's end.
void PrintSettings() {
    for (size_t i = 0; i < kFieldCount; ++i) {
        const char* field = g_orvane_flasher_settings[i].text;
        const void* end = std::memchr(field, '\0', kFieldSize);
        const size_t len = end ? static_cast<size_t>(static_cast<const char*>(end) - field) : kFieldSize;
        std::printf("%.*s\n", static_cast<int>(len), field);
    }
}

bool IsAbsolute(const char* path) {
    if (path[0] == '\\' || path[0] == '/') return true;
    return path[0] != '\0' && path[1] == ':';
}

bool FileExists(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// At boot the image name comes without a folder: the flasher's own folder (the system directory) is
// where the program put it, so that folder is tried before the current one.
bool ResolveImage(const char* name, char* out, size_t out_size) {
    if (!IsAbsolute(name)) {
        char self[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            char* slash = std::strrchr(self, '\\');
            if (slash) {
                *slash = '\0';
                const int w = std::snprintf(out, out_size, "%s\\%s", self, name);
                if (w > 0 && static_cast<size_t>(w) < out_size && FileExists(out)) return true;
            }
        }
    }
    const int w = std::snprintf(out, out_size, "%s", name);
    return w > 0 && static_cast<size_t>(w) < out_size;
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

}  // namespace

int main(int argc, char** argv) {
    std::printf("Boot-time flasher stand-in for %s (%s), slot %s; it flashes nothing.\n", ORV_FLASHER_FAMILY,
                ORV_FLASHER_WIDTH, ORV_FLASHER_SLOT);
    PrintSettings();

    if (argc < 2) {
        std::fprintf(stderr, "error: no image named (usage: %s FW.bin)\n", argv[0]);
        return 2;
    }
    char path[MAX_PATH * 2];
    if (!ResolveImage(argv[1], path, sizeof path)) {
        std::fprintf(stderr, "error: image path too long: %s\n", argv[1]);
        return 2;
    }
    Handle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    LARGE_INTEGER size{};
    if (file.get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.get(), &size)) {
        std::fprintf(stderr, "error: cannot read image %s (error %lu)\n", path, GetLastError());
        return 3;
    }
    std::printf("Image: %s, %lld bytes\n", path, static_cast<long long>(size.QuadPart));
    return 0;
}
