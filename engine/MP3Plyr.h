// Chief header of the player engine: errors, aligned blocks, source streams and the stream reader.
#pragma once

#include "MPAlignedBlock.h"
#include "MPErrors.h"
#include "MPFileStream.h"
#include "MPInfo.h"
#include "MPStreamReader.h"
