// The cover of the playing track as a file that the desktop can show (MPRIS "mpris:artUrl"): written once
// per picture into the session's runtime folder, named after its content, so clients never see half a file.
#pragma once

#include <QString>

#include <string>

#include "mp3_info.h"

namespace tunelo {

class TCoverFiles {
public:
    // The file URL of source's picture; empty when it has none or it cannot be written. Hashing and writing
    // happen once per source: the metadata is asked for far more often than tracks change.
    QString UrlFor(const std::string& source, const TMPPicture& picture);

private:
    std::string FSource;
    QString FUrl;
};

} // namespace tunelo
