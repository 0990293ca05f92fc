#include "tag_scan.h"

#include <exception>

namespace tunelo::cli {

namespace {

// The player's look-ahead: the tag reader sees the file as it does when playing.
constexpr int32_t kReaderCapacity = 65536;

} // namespace

TTagScan::TTagScan() : FReader(kReaderCapacity) {}

TTagScan::~TTagScan() {
    FInfo.Attach(nullptr);
}

bool TTagScan::Open(const std::string& path, const std::string& codePage, std::string& reason) {
    try {
        FStream = std::make_unique<TMPFileStream>(path);
        FReader.Open(FStream.get(), true);
        FInfo.SetLegacyCodePage(codePage);
        FInfo.Attach(&FReader);
        FInfo.ReadHead();
        FInfo.ReadTail();
    } catch (const std::exception& error) {
        reason = error.what();
        return false;
    }
    return true;
}

} // namespace tunelo::cli
