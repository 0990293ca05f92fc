// Album files (M3U) for the command-line front end, read by the jukebox's own album reader: one path per
// line, each found relative to the current folder or else to the album's own folder; lines that name no
// file (extended-M3U lines, blank lines, files that are gone) are passed over.
#pragma once

#include <string>
#include <vector>

namespace tunelo::cli {

// Whether the path names an album file: its extension is ".m3u", ".m3u8" or ".pls" in any case.
bool IsAlbumFile(const std::string& path);

// Appends the files the album names. When the album file does not exist, returns false with the message
// "File not found. (PATH)".
bool LoadAlbum(const std::string& albumPath, std::vector<std::string>& files, std::string& error);

// The command line's FILE|ALBUM.m3u arguments as the files to work on, albums replaced by their entries in
// place. Albums that cannot be read are reported in errors (one message each).
std::vector<std::string> ExpandFileArguments(const std::vector<std::string>& arguments,
                                             std::vector<std::string>& errors);

} // namespace tunelo::cli
