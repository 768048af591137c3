#include "pack/file_io.h"

#include <fstream>
#include <iterator>
#include <string>

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

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& file, const std::string& what, uintmax_t max,
                                   const std::string& refusal_prefix) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw PackError(what + " " + file.string() + " does not exist or is not a file");
    const uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) throw PackError("cannot read " + what + " " + file.string() + ": " + ec.message());
    if (size > max)
        throw PackError(refusal_prefix + " is " + std::to_string(size) + " bytes, at most " + std::to_string(max) +
                        " fit");
    return ReadFileBytes(file, what);
}

void WriteFileBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw PackError("cannot create " + file.string());
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw PackError("cannot write " + file.string());
}

}  // namespace orvane::pack
