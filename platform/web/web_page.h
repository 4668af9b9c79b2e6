// The page's side of the web platform (web_library.js), as the C++ side calls it.
#pragma once

#include <cstdint>

extern "C" {
void kestrune_web_create_canvas(uint32_t id, const char* title, int x, int y, int width, int height,
                                int gl);
void kestrune_web_destroy_canvas(uint32_t id);
void kestrune_web_move_canvas(uint32_t id, int x, int y);
void kestrune_web_minimise_canvas(uint32_t id);
void kestrune_web_raise_canvas(uint32_t id);
void kestrune_web_present(uint32_t id, const uint8_t* rgba, int width, int height);
void kestrune_web_screen_size(int* size); // width, height
uint32_t kestrune_web_window_at(int clientX, int clientY, uint32_t capture, int* point);
int kestrune_web_request_fullscreen(uint32_t id);
void kestrune_web_exit_fullscreen();
int kestrune_web_gl_context(uint32_t id);
void kestrune_web_set_status(const char* text);
void kestrune_web_next_frame();                                     // waits (Asyncify)
void kestrune_web_message_box(const char* title, const char* text); // waits (Asyncify)
int kestrune_web_audio_open(int rate, int frames, void (*fill)(int frames), int16_t* scratch);
void kestrune_web_audio_close();
}

namespace kestrune {

struct PlatformWindow;

// Lets the page have its turn when a running loop shows a frame (not while an event is being
// handled): the browser composites the canvases and delivers input before the loop goes on.
void endPageFrame();

} // namespace kestrune
