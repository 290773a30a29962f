// Window-system calls belong to the event thread. Every SDL video, window,
// event, cursor, grab, key-repeat, window-manager and joystick call the runtime
// (or a program on it) makes passes through here: the link wraps each one, and
// a call from any other thread names itself on stderr and stops the process
// before SDL's X11 back-end can crash somewhere less clear.
#include <SDL.h>
#include <SDL_syswm.h>
#include <cstdio>
#include <cstdlib>
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"

// Referred to by the shutdown, so the wrappers below are in every program's
// link (and with them their need of the --wrap options).
extern const char sdl_thread_check_linked = 1;

namespace {
void event_thread_call(const char* name) {
    if (on_event_thread()) return;
    std::fprintf(stderr, "%s called from a thread other than the event thread\n", name);
    std::fflush(stderr);
    std::abort();
}
}  // namespace

// One wrapper per call: WRAP(result, name, (parameters), (arguments)).
#define WRAP(result, name, params, args)     \
    extern "C" result __real_##name params;  \
    extern "C" result __wrap_##name params { \
        event_thread_call(#name);            \
        return __real_##name args;           \
    }

WRAP(SDL_Surface*, SDL_SetVideoMode, (int w, int h, int bpp, Uint32 flags), (w, h, bpp, flags))
WRAP(SDL_Surface*, SDL_GetVideoSurface, (void), ())
WRAP(const SDL_VideoInfo*, SDL_GetVideoInfo, (void), ())
WRAP(int, SDL_VideoModeOK, (int w, int h, int bpp, Uint32 flags), (w, h, bpp, flags))
WRAP(SDL_Rect**, SDL_ListModes, (SDL_PixelFormat * format, Uint32 flags), (format, flags))
WRAP(void, SDL_UpdateRect, (SDL_Surface * s, Sint32 x, Sint32 y, Uint32 w, Uint32 h), (s, x, y, w, h))
WRAP(void, SDL_UpdateRects, (SDL_Surface * s, int n, SDL_Rect* rects), (s, n, rects))
WRAP(int, SDL_Flip, (SDL_Surface * s), (s))
WRAP(void, SDL_WM_SetCaption, (const char* title, const char* icon), (title, icon))
WRAP(void, SDL_WM_SetIcon, (SDL_Surface * icon, Uint8* mask), (icon, mask))
WRAP(int, SDL_WM_IconifyWindow, (void), ())
WRAP(int, SDL_WM_ToggleFullScreen, (SDL_Surface * s), (s))
WRAP(SDL_GrabMode, SDL_WM_GrabInput, (SDL_GrabMode mode), (mode))
WRAP(int, SDL_GetWMInfo, (SDL_SysWMinfo * info), (info))
WRAP(void, SDL_PumpEvents, (void), ())
WRAP(int, SDL_PollEvent, (SDL_Event * event), (event))
WRAP(int, SDL_WaitEvent, (SDL_Event * event), (event))
WRAP(int, SDL_ShowCursor, (int toggle), (toggle))
WRAP(void, SDL_SetCursor, (SDL_Cursor * cursor), (cursor))
WRAP(SDL_Cursor*, SDL_CreateCursor, (Uint8 * data, Uint8* mask, int w, int h, int hx, int hy),
     (data, mask, w, h, hx, hy))
WRAP(void, SDL_FreeCursor, (SDL_Cursor * cursor), (cursor))
WRAP(void, SDL_WarpMouse, (Uint16 x, Uint16 y), (x, y))
WRAP(Uint8, SDL_GetMouseState, (int* x, int* y), (x, y))
WRAP(Uint8, SDL_GetRelativeMouseState, (int* x, int* y), (x, y))
WRAP(int, SDL_EnableKeyRepeat, (int delay, int interval), (delay, interval))
WRAP(int, SDL_EnableUNICODE, (int enable), (enable))
WRAP(Uint8*, SDL_GetKeyState, (int* count), (count))
WRAP(SDLMod, SDL_GetModState, (void), ())
WRAP(void, SDL_SetModState, (SDLMod state), (state))
WRAP(Uint8, SDL_GetAppState, (void), ())
WRAP(int, SDL_NumJoysticks, (void), ())
WRAP(SDL_Joystick*, SDL_JoystickOpen, (int index), (index))
WRAP(void, SDL_JoystickUpdate, (void), ())
WRAP(int, SDL_JoystickEventState, (int state), (state))
WRAP(void, SDL_JoystickClose, (SDL_Joystick * joystick), (joystick))
WRAP(const char*, SDL_JoystickName, (int index), (index))
WRAP(int, SDL_JoystickNumButtons, (SDL_Joystick * joystick), (joystick))
WRAP(int, SDL_JoystickNumAxes, (SDL_Joystick * joystick), (joystick))
WRAP(int, SDL_JoystickNumBalls, (SDL_Joystick * joystick), (joystick))
WRAP(int, SDL_JoystickNumHats, (SDL_Joystick * joystick), (joystick))
WRAP(Uint8, SDL_JoystickGetButton, (SDL_Joystick * joystick, int button), (joystick, button))
WRAP(Sint16, SDL_JoystickGetAxis, (SDL_Joystick * joystick, int axis), (joystick, axis))
WRAP(Uint8, SDL_JoystickGetHat, (SDL_Joystick * joystick, int hat), (joystick, hat))
