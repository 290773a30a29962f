// The printer page: what the event loop and the shutdown call.
#pragma once

// Prints a pending page once 10 seconds passed since the last printer output.
void printer_housekeeping();
// Prints a pending page now (shutdown).
void printer_flush();
