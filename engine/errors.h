// Exceptions of the player engine. Every failure the engine reports is an EMPError (or derived from it)
// whose message is the text the user sees in the error box. The decoder never throws.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tunelo {

class EMPError : public std::runtime_error {
public:
    explicit EMPError(const std::string& message) : std::runtime_error(message) {}

    std::string Message() const { return what(); }
};

// A file that cannot be opened or read: its path and the system's error number, so that a front end can
// word what to do about it. The message stays the engine's own.
class EMPFileError : public EMPError {
public:
    EMPFileError(const std::string& message, std::string path, int errorNumber)
        : EMPError(message), FPath(std::move(path)), FErrorNumber(errorNumber) {}

    const std::string& Path() const { return FPath; }
    int ErrorNumber() const { return FErrorNumber; }

private:
    std::string FPath;
    int FErrorNumber;
};

// Data that holds no MPEG audio the decoder can play.
class EMPFormatError : public EMPError {
public:
    explicit EMPFormatError(const std::string& message) : EMPError(message) {}
};

// A failed call of the wave device: its result code (for WaveOutFault) besides the message.
class EMPWaveError : public EMPError {
public:
    EMPWaveError(const std::string& message, int32_t code) : EMPError(message), FCode(code) {}

    int32_t Code() const { return FCode; }

private:
    int32_t FCode;
};

// A violated internal precondition: a programming error, not bad input. The message reads
// "Assertion failure (mp3plyr, line 123)", or "<text> (mp3plyr, line 123)" when a text is given.
class EMPAssertionFailed : public EMPError {
public:
    EMPAssertionFailed(const std::string& unit, int32_t line, const std::string& text = {});

    const std::string& Unit() const { return FUnit; }
    int32_t Line() const { return FLine; }

private:
    std::string FUnit;
    int32_t FLine;
};

[[noreturn]] void RaiseAssertionFailed(const char* unit, int32_t line, const char* text = nullptr);

// The class library's list-index error (in its own Japanese text) for an index that names no entry of a
// list: the album's entries, the equalizer's bands.
[[noreturn]] void RaiseListIndexError(int32_t index);

} // namespace tunelo

// Precondition checks of the engine; they stay active in release builds because the player relies on
// them to turn misuse into a reported error instead of memory corruption.
#define MP_ASSERT_IN(unit, cond)                                                                             \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            ::tunelo::RaiseAssertionFailed(unit, __LINE__);                                                  \
        }                                                                                                    \
    } while (0)

#define MP_ASSERT_MSG_IN(unit, cond, text)                                                                   \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            ::tunelo::RaiseAssertionFailed(unit, __LINE__, text);                                            \
        }                                                                                                    \
    } while (0)

#define MP_ASSERT(cond) MP_ASSERT_IN("mp3plyr", cond)
#define MP_ASSERT_MSG(cond, text) MP_ASSERT_MSG_IN("mp3plyr", cond, text)
