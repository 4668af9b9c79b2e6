// The operating-system layer the show is written against.
#pragma once

#include "platform/audio.h"
#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/gl.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/window.h"
