// The operating-system layer the show is written against.
#pragma once

#include "platform/audio.h"
#include "platform/clock.h"
