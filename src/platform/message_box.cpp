// message_box.cpp -- modal message boxes through SDL2, or standard error when
// there is no display to show them on.
#include "platform/platform.h"

#include <SDL.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

bool have_display() {
  const char* x = getenv("DISPLAY");
  const char* wayland = getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

}  // namespace

void message_box(const char* title, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (have_display() && !headless_active() &&
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) == 0)
    return;
  fprintf(stderr, "%s: %s", title, text);
  size_t n = 0;
  while (text[n]) n++;
  if (n == 0 || text[n - 1] != '\n') fputc('\n', stderr);
}
