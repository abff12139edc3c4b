#pragma once
// The video and audio managers the main window works with.

#include "media/engine/audio_man.h"
#include "media/engine/video_man.h"
