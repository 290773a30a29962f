// Font files found through the desktop's font configuration (fontconfig).
#pragma once
#include <string>

// The file of a font named by its file name ("DejaVuSans.ttf") or its family
// ("DejaVu Sans"); empty when the configuration knows neither. A family the
// configuration would stand in for with another counts as not found.
std::string font_file_lookup(const std::string& name);
// The configuration's font for Chinese text, which also shows Japanese; empty
// when it has none.
std::string font_file_for_cjk();
