// Text output and the cursor.
#include "runtime/display/text.h"

void key_line_redraw(bool) {}
