#pragma once
// The vendor firmware-download flows' arithmetic and answers, apart from the commands that carry them.
#include <cstddef>
#include <cstdint>

namespace orvane::device {

// What a transport that cannot carry a download is refused with.
inline constexpr const char* kDownloadRefusedText =
    "this connection cannot carry a firmware download; connect the drive to a SATA port";

// An image of `size` bytes sent in chunks of max_sector sectors.
struct ChunkPlan {
    uint32_t sectors = 0;    // size / 512, rounded up
    uint32_t full = 0;       // chunks of max_sector sectors
    uint32_t remainder = 0;  // sectors of the last, shorter chunk; 0: none
    uint32_t total = 0;      // iChunkTotal
};
// max_sector below 1 plans no chunks (only `sectors` is filled).
ChunkPlan PlanChunks(uint32_t size, int max_sector);

// The largest chunk, in sectors, one DOWNLOAD MICROCODE command can carry over transport
// `protocol` (iProtocol); 0 when the transport cannot carry a download at all: its block drops
// the offset registers, or it carries no ATA commands.
uint32_t MaxChunkSectors(int protocol);

// The drive's answer to the PATA handshake's last READ BUFFER: every fourth byte from 0 to 52
// spells "AEP NEWSupport" on a parallel-ATA drive. n is the number of bytes read.
bool IsPataAnswer(const uint8_t* buffer, size_t n);

}  // namespace orvane::device
