// The RIFF wrapper: the head scan walks the chunks up to the "data" chunk that holds the MPEG audio, the
// tail scan finds the "LIST" chunk of form "INFO" behind it and reads its text entries.
#include "errors.h"
#include "mp3_info.h"
#include "tag_bytes.h"
#include "text_encoding.h"

namespace tunelo {

using namespace tagbytes;

namespace {

constexpr int32_t kChunkHeaderSize = 8;

// Walks chunks from the reader's position until one with the identifier (and, when given, the form in
// bytes 8 to 11) and leaves the reader on its header, with the header (and form) contiguous at Data.
// A chunk size below 1 or a chunk reaching beyond the source ends the walk without success.
bool FindChunk(TMPStreamReader& reader, const char* id, const char* form) {
    for (;;) {
        if (!Need(reader, kChunkHeaderSize)) {
            return false;
        }
        const int32_t size = LittleEndian32(reader.Data() + 4);
        if (size < 1) {
            return false;
        }
        if (HasId(reader.Data(), id)) {
            if (form == nullptr) {
                return true;
            }
            if (!Need(reader, kChunkHeaderSize + 4)) {
                return false;
            }
            if (HasId(reader.Data() + kChunkHeaderSize, form)) {
                return true;
            }
        }
        if (!Skip(reader, EvenUp(int64_t{size} + kChunkHeaderSize))) {
            return false;
        }
    }
}

} // namespace

bool TMP3Info::ReadRiffHeader() {
    TMPStreamReader& reader = *FReader;
    // "RIFF", the size of the whole, and a form type that is not checked: the data chunk says enough.
    if (!Need(reader, 12) || !HasId(reader.Data(), "RIFF") || !Skip(reader, 12)) {
        return false;
    }
    if (!FindChunk(reader, "data", nullptr)) {
        return false;
    }
    const int32_t size = LittleEndian32(reader.Data() + 4);
    if (!Skip(reader, kChunkHeaderSize)) {
        return false;
    }
    FRiffDataSize = size;
    FRiffDataStart = reader.Position();
    FDataStart = FRiffDataStart;
    FDataLength = size;
    FFoundInfoTypes.Include(mitRiff);
    return true;
}

void TMP3Info::ReadRiffInfo() {
    TMPStreamReader& reader = *FReader;
    // Entries read before a failure are kept: each of them was complete.
    try {
        if (!SeekTo(reader, EvenUp(int64_t{FRiffDataStart} + FRiffDataSize)) ||
            !FindChunk(reader, "LIST", "INFO")) {
            return;
        }
        const int32_t size = LittleEndian32(reader.Data() + 4);
        const int64_t listEnd = int64_t{reader.Position()} + size + kChunkHeaderSize;
        if (!Skip(reader, kChunkHeaderSize + 4)) {
            return;
        }
        ReadRiffInfoEntries(listEnd);
    } catch (const EMPError&) {
        // A source that fails to read here costs only the INFO entries.
    }
}

void TMP3Info::ReadRiffInfoEntries(int64_t listEnd) {
    TMPStreamReader& reader = *FReader;
    while (reader.Position() < listEnd) {
        if (!Need(reader, kChunkHeaderSize)) {
            return;
        }
        const std::string id = FixedText(reader.Data(), 4);
        const int32_t size = LittleEndian32(reader.Data() + 4);
        if (!Skip(reader, kChunkHeaderSize) || size < 0 || id == "IID3") {
            return;
        }
        // An entry larger than the reader's ring ends the list.
        if (!Need(reader, size)) {
            return;
        }
        std::string value = FixedText(reader.Data(), static_cast<size_t>(size), FCodePage);
        if (!id.empty() && !value.empty()) {
            FRiffInfo.Add(id, std::move(value));
        }
        if (!Skip(reader, EvenUp(size))) {
            return;
        }
    }
}

} // namespace tunelo
