// Whether the machine offers this user a graphics processor to draw with.
#pragma once

// True when a DRM render node (/dev/dri/renderD*) can be opened for reading
// and writing: without one, OpenGL draws on the processor (Mesa's llvmpipe).
bool platform_gpu_render_node();
