// File numbers: what the shutdown calls.
#pragma once

// The close statement without a number: closes every file and connection.
void file_close_all();
