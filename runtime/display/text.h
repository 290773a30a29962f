// Text output and the cursor: printing into text and pixel pages, the cursor,
// colours, palette entries, clearing, the print view and the function-key line.
#pragma once
#include <cstdint>

// Redraws the function-key line; `force` redraws it even when nothing changed.
void key_line_redraw(bool force);
