// The tag reader run over a file on its own, as the player runs it on open, for the commands that need
// the tags without playing: cover art, ReplayGain for the file decode.
#pragma once

#include <memory>
#include <string>

#include "file_stream.h"
#include "mp3_info.h"
#include "stream_reader.h"

namespace tunelo::cli {

class TTagScan {
public:
    TTagScan();
    ~TTagScan();

    // Scans head and tail; false with the reason when the file cannot be opened.
    bool Open(const std::string& path, const std::string& codePage, std::string& reason);
    const TMP3Info& Info() const { return FInfo; }

private:
    std::unique_ptr<TMPFileStream> FStream;
    TMPStreamReader FReader;
    TMP3Info FInfo;
};

} // namespace tunelo::cli
