// The printer page's housekeeping on the event thread and at shutdown.
#pragma once
#include <cstdint>
#include "runtime/system/printer.h"

// Event thread, every pass: prints a page holding text once printer_idle_ms
// passed since the last printer output, unless printing goes on right now.
void printer_housekeeping();
// The same at a given time of printer_clock_ms (tests).
void printer_housekeeping_at(uint64_t now_ms);
uint64_t printer_clock_ms();
// Prints a page holding text now (shutdown, with the program parked).
void printer_flush();
// The same while the program thread may still be printing (shutdown, the
// program not parked): waits up to wait_ms for the page's lock, prints the
// page if it holds text, and never waits on the program.
void printer_flush_within(uint32_t wait_ms);
// True while the page holds text not yet printed.
bool printer_page_pending();
// Prints the full page and blanks it; the text output calls it through its
// printer-page hook when a print fills the page.
void printer_page_full();
// Start-up and shutdown: the shutdown prints a page holding text (the program
// parked).
void printer_startup();
void printer_shutdown();
