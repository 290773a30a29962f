// The folder the program's executable lives in, found at start-up.
#pragma once

// The folder the executable lives in (the working directory after start-up).
const char* program_folder();
