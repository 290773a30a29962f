// The MORV program run on the program thread.
#pragma once

int morv_program(void*);
