// The printer page. No page is pending until the printing statements exist.
#include "runtime/system/printer.h"

void printer_housekeeping() {}
void printer_flush() {}
