// The clipboard's event-thread pass and its text conversions.
#pragma once
#include <string>
#include <string_view>
#include "runtime/system/clipboard.h"

// Event thread, every pass: the selection's traffic.
void clipboard_pass();

// The conversions. Bytes 1-31 and 127 are control characters (tabs, line
// ends) and pass unchanged; the others go through the code page. Characters
// the code page lacks, and broken UTF-8, become "?".
std::string clipboard_cp437_to_utf8(std::string_view text);
std::string clipboard_cp437_to_latin1(std::string_view text);
std::string clipboard_utf8_to_cp437(std::string_view text);
std::string clipboard_latin1_to_cp437(std::string_view text);
