// What the package cipher costs: deciphering a 512 KiB image in place, as the Update command does,
// timed over many passes. Prints one JSON object with the engine, the median and the fastest pass.
// --tables times the table engine even where the processor has the AES instructions.
//   cipher_bench [--tables] [PASSES]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "package/aes_cipher.h"

int main(int argc, char** argv) {
    using namespace orvane::package;
    AesEngine engine = AesEngine::Fastest;
    if (argc > 1 && std::strcmp(argv[1], "--tables") == 0) {
        engine = AesEngine::Tables;
        --argc, ++argv;
    }
    const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    constexpr size_t kBytes = 512 * 1024;
    std::vector<uint8_t> buf(kBytes);
    for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<uint8_t>(i * 131 + 7);
    auto cipher = std::make_unique<AesCipher>(engine);
    uint8_t key[16];
    AssemblePackageKey(key);
    cipher->SetKey(key);
    std::vector<double> secs;
    for (int p = 0; p < passes; ++p) {
        const auto t0 = std::chrono::steady_clock::now();
        cipher->Run(buf.data(), buf.size(), CipherDirection::Decipher);
        secs.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(secs.begin(), secs.end());
    const double median = secs[secs.size() / 2], fastest = secs.front();
    // The checksum keeps the work from being optimised away and tells two builds apart if they differ.
    unsigned sum = 0;
    for (uint8_t b : buf) sum = sum * 31 + b;
    std::printf("{\"engine\": \"%s\", \"bytes\": %zu, \"passes\": %d, \"median_s\": %.6f, \"fastest_s\": %.6f, "
                "\"median_mb_s\": %.1f, \"fastest_mb_s\": %.1f, \"check\": %u}\n",
                cipher->UsesAesInstructions() ? "instructions" : "tables", kBytes, passes, median, fastest, kBytes / median / 1e6, kBytes / fastest / 1e6, sum);
    return 0;
}
