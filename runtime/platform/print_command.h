// The system's print command: a document handed to lp (from CUPS) on its
// standard input, titled, for the destination named by LPDEST or PRINTER or
// else lp's default. MORV_PRINT_COMMAND, when set, is run by /bin/sh in lp's
// place with the same arguments ("$@": -t TITLE, then -d DESTINATION when one
// is named), so that tests and machines without CUPS can point printing
// elsewhere.
#pragma once
#include <cstddef>

// Starts the command with the document and does not wait for it to finish.
// False when it could not be started; what it does with the document is its
// own affair.
bool print_command_submit(const void* document, size_t size, const char* title);
