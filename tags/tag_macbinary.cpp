// The 128-byte MacBinary header that a file copied from a classic Macintosh may carry in front of its
// data fork (and a resource fork behind it).
#include <algorithm>

#include "mp3_info.h"
#include "tag_bytes.h"

namespace tunelo {

using namespace tagbytes;

bool TMP3Info::ReadMacBinary() {
    TMPStreamReader& reader = *FReader;
    constexpr int32_t kHeaderSize = 128;
    if (!Need(reader, kHeaderSize)) {
        return false;
    }
    const uint8_t* header = reader.Data();
    const bool zeroBytes = header[0] == 0 && header[74] == 0 && header[82] == 0;
    const uint8_t nameLength = header[1];
    if (!zeroBytes || nameLength < 1 || nameLength > 31) {
        return false;
    }
    const int32_t dataForkLength = BigEndian32(header + 83);
    const int32_t resourceForkLength = BigEndian32(header + 87);
    if (dataForkLength < 0 || resourceForkLength < 0 || !Skip(reader, kHeaderSize)) {
        return false;
    }
    FMacDataForkStart = reader.Position();
    FMacDataForkLength = dataForkLength;
    // A fork longer than any source can be still ends within the reader's positions.
    FMacDataForkEnd = FMacDataForkStart + dataForkLength;
    FMacResourceForkLength = resourceForkLength;
    FDataStart = FMacDataForkStart;
    FDataLength = FMacDataForkLength;
    FFoundInfoTypes.Include(mitMacBin);
    return true;
}

} // namespace tunelo
