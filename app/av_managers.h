#pragma once
// The video and audio managers the main window works with.

#include "app/interim_av.h"

using TVideoMan = interim_av::TVideoMan;
using TAudioMan = interim_av::TAudioMan;
