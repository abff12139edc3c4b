#pragma once
// Registers the renderers with the class registry (by their class ids) and
// the filter mapper, so that the graph can render to them. Safe to call more
// than once.

#include "platform/renderers/audio/audio_renderer.h"
#include "platform/renderers/video_renderer.h"

void RegisterRenderers();
