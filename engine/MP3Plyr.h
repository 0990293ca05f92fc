// Chief header of the player engine: errors, aligned blocks, source streams, the stream reader, the tag
// reader, threads and locks, the wave output and the player component.
#pragma once

#include "MP3Trds.h"
#include "aligned_block.h"
#include "errors.h"
#include "file_stream.h"
#include "mp3_info.h"
#include "player.h"
#include "sound_out.h"
#include "stream_reader.h"
