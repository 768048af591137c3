#include "pack/file_io.h"

#include <fstream>
#include <iterator>

#include "pack/pack_error.h"

namespace orvane::pack {

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& file, const std::string& what) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw PackError(what + " " + file.string() + " does not exist or is not a file");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw PackError("cannot open " + what + " " + file.string());
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw PackError("cannot read " + what + " " + file.string());
    return bytes;
}

void WriteFileBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw PackError("cannot create " + file.string());
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw PackError("cannot write " + file.string());
}

}  // namespace orvane::pack
