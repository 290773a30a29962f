// Names as the file statements resolve them.
#pragma once
#include "runtime/system/directories.h"
#include <string>

// The file a program's name stands for, for the file statements too: the name
// itself when it exists, else the entry the listing showed by that name.
std::string dir_resolve_name(const std::string& name);
