// The settings file: sections in square brackets and key=value lines. Section and key names match without
// regard to (ASCII) letter case. Nothing is cached: every read parses the file as it is on disk now, and
// every write rewrites the whole file through a temporary file that is renamed over the old one, so a
// reader never sees half a file and the file on disk is always current.
//
// Lines that are neither a section nor a key (comments, blank lines, text without '=') are kept as they
// are when the file is rewritten.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tunelo {

class TMPIniFile {
public:
    explicit TMPIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

    const std::string& FileName() const { return FFileName; }

    // The value of the first matching key in the first matching section, with blanks around it removed;
    // the default when the file, the section or the key is missing.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // A decimal integer (optional sign, blanks around it allowed); the default when the key is missing or
    // its value is not a number that fits in 32 bits.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    // Read as an integer (the default as 1 or 0): true when not zero.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    // Replace the key's value (keeping its spelling), else add the key at the end of its section, else add
    // the section at the end of the file. False when the file could not be written; the old file is then
    // unchanged.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, int32_t value);
    // Written as 1 or 0.
    bool WriteBool(const std::string& section, const std::string& key, bool value);

    // Removes every section of that name with all its lines. True also when there was none to remove.
    bool EraseSection(const std::string& section);
    // Removes the key from the first matching section.
    bool DeleteKey(const std::string& section, const std::string& key);

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    // The key names of the first matching section, in file order.
    std::vector<std::string> ReadSection(const std::string& section) const;
    // The section names, in file order.
    std::vector<std::string> ReadSections() const;

private:
    std::string FFileName;
};

// Where the program's settings file lives: $XDG_CONFIG_HOME/tunelo/tunelo.ini, with ~/.config standing
// in for an unset or relative XDG_CONFIG_HOME; but a portable copy's settings file that already sits next
// to the executable (PortableIniPath) is used instead. None is ever created there. One path for every part
// of the program.
std::string ApplicationIniPath();

// The executable's path with its extension, if any, replaced by ".ini".
std::string PortableIniPath(const std::string& executablePath);

// The rule behind ApplicationIniPath, given its inputs.
std::string IniPathFor(const std::string& executablePath, bool portableIniExists,
                       const std::string& xdgConfigHome, const std::string& home);

// Parses a decimal 32-bit integer the way ReadInteger does; false when the text is not one.
bool ParseIniInteger(const std::string& text, int32_t& value);

} // namespace tunelo
