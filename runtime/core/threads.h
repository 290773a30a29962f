// The program's end: the quit statement.
#pragma once

// The quit statement: the program ends; does not return.
[[noreturn]] void end_program();
