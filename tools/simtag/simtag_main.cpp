// orvane-simtag: writes the tag a simulated drive reads its new revision and DEF text from into
// a firmware image file, so test and demonstration packages carry images the drives take.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "orvane_version.h"
#include "platform/sim/sim_image_tag.h"

namespace {

constexpr int kUsageError = 2;
constexpr const char* kUsage =
    "usage: orvane-simtag IMAGE REVISION [DEF] [OFFSET]\n"
    "       orvane-simtag --version | --help\n"
    "  writes the tag at OFFSET (default 64) of IMAGE, in place\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("orvane-simtag %s\n", ORVANE_VERSION);
        return 0;
    }
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "orvane-simtag: %s\n%s", argc < 3 ? "too few arguments" : "too many arguments", kUsage);
        return kUsageError;
    }
    const std::string path = argv[1], revision = argv[2], def = argc > 3 ? argv[3] : "";
    size_t offset = 64;
    if (argc > 4) {
        char* end = nullptr;
        const unsigned long long v = std::strtoull(argv[4], &end, 0);
        if (end == argv[4] || *end) {
            std::fprintf(stderr, "orvane-simtag: OFFSET must be a number\n");
            return kUsageError;
        }
        offset = static_cast<size_t>(v);
    }
    std::vector<uint8_t> image;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "orvane-simtag: cannot read %s\n", path.c_str());
            return 1;
        }
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!orvane::platform::sim::StampImageTag(image, offset, revision, def)) {
        std::fprintf(stderr, "orvane-simtag: the tag does not fit at %zu of %zu bytes, or a text is not 1 to 8 "
                             "printable characters\n", offset, image.size());
        return 1;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out) {
        std::fprintf(stderr, "orvane-simtag: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
