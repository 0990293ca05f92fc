// What the window says when a track cannot be played: words a person can act on, naming the file or the
// sound device, in place of the engine's bare texts ("No such file or directory(TSoundOut.Open:...)",
// "unknown MPEG Audio format."). Errors it has no better words for keep the engine's message.
#pragma once

#include <QString>

#include <exception>

namespace tunelo {

// file: the track the window was opening or playing; empty where it is not known.
QString PlayerErrorText(const std::exception& error, const QString& file);

} // namespace tunelo
