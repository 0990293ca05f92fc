// Chief header of the player engine: errors, aligned blocks, source streams, the stream reader, the tag
// reader, threads and locks, the wave output and the player component.
#pragma once

#include "MP3Trds.h"
#include "MPAlignedBlock.h"
#include "MPErrors.h"
#include "MPFileStream.h"
#include "MPInfo.h"
#include "MPPlayer.h"
#include "MPSoundOut.h"
#include "MPStreamReader.h"
