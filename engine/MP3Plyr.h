// Chief header of the player engine: errors, aligned blocks, source streams, the stream reader, threads and
// locks, the wave output.
#pragma once

#include "MPAlignedBlock.h"
#include "MPErrors.h"
#include "MPFileStream.h"
#include "MP3Trds.h"
#include "MPInfo.h"
#include "MPSoundOut.h"
#include "MPStreamReader.h"
