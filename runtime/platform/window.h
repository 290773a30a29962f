// Placement of the program's window on the desktop, through the X11 window
// behind the SDL surface. Without one (dummy driver) positions read 0 and
// moves do nothing.
#pragma once

struct WindowGeometry {
    int outer_x, outer_y;  // top-left of the outer (decorated) rectangle
    int outer_width, outer_height;
    int client_width, client_height;
    int desktop_width, desktop_height;
};

// False when there is no window-system window to ask.
bool platform_window_geometry(WindowGeometry* geometry);
// Places the outer rectangle's top-left corner at (x, y) without resizing.
void platform_window_move(int x, int y);
// True when an X display is reachable or a headless SDL driver was chosen.
bool platform_display_available();
// From now on a lost connection to the X server ends the process at once with
// exit code 1 and a line on stderr: Xlib's own handler exits through the
// exit-time handlers, where the window system's shutdown waits on the dead
// connection for ever.
void platform_display_loss_ends_process();
