// How a compiled statement ends: temporaries released, the statement check with
// the statement's source line number, assignments skipped while an error waits.
#pragma once
#include <cmath>
#include <cstdint>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/memory.h"
#include "runtime/core/numbers.h"
#include "runtime/core/strings.h"
#include "runtime/core/timekeeping.h"
#include "runtime/display/text.h"
#include "runtime/input/keyboard.h"

// Ends a statement that began when the temporary list held `mark` entries:
// releases the temporaries it made and, while an event is pending, runs the
// statement check with its line number. True when the statement runs again.
inline bool statement_end(uint32_t line, uint32_t mark) {
    str_release_temps(mark, 0);
    if (event_pending.load(std::memory_order_relaxed) == 0) return false;
    statement_check(line);
    return retry_statement.load(std::memory_order_relaxed) != 0;
}

// A statement whose result decides a branch or a loop (IF, WHILE, UNTIL).
template <typename Test>
inline bool statement_value(uint32_t line, Test&& test) {
    const uint32_t mark = str_temp_count();
    bool value;
    do {
        value = test();
    } while (statement_end(line, mark));
    return value;
}

// An assignment to a 16-bit program variable: skipped while an error is
// pending; a value outside the 16-bit range is an overflow (error 6).
inline void program_assign(int16_t& target, int32_t value) {
    if (runtime_error_pending()) return;
    if (value < INT16_MIN || value > INT16_MAX) {
        runtime_error(error_overflow);
        return;
    }
    target = static_cast<int16_t>(value);
}

// A string assignment (the value is consumed when it is a temporary; while an
// error is pending it is left to the statement's release).
inline void program_assign(StrDesc* target, StrDesc* value) {
    if (runtime_error_pending()) return;
    str_assign(target, value);
}

// One statement of the program: STATEMENT(231, print_line(str_lit("Options:")));
#define STATEMENT(line, ...)                               \
    do {                                                   \
        const uint32_t statement_mark_ = str_temp_count(); \
        do {                                               \
            __VA_ARGS__;                                   \
        } while (statement_end((line), statement_mark_));  \
    } while (0)

// A loop head or jump target: the check without a statement of its own.
#define CHECK(line) STATEMENT(line, (void)0)

// The condition of an IF, WHILE or UNTIL, evaluated as its own statement.
#define CONDITION(line, ...) statement_value((line), [&]() -> bool { return (__VA_ARGS__); })

// An assignment statement's body: ASSIGN(turn(), turn() + 1).
#define ASSIGN(target, ...) program_assign((target), (__VA_ARGS__))

// A subroutine's local array of 16-bit integers indexed 0..upper, made in low
// memory on entry and released on exit (array_release).
inline void local_array_declare(ArrayDesc& a, int32_t upper) {
    const ArrayBounds bounds{0, upper};
    array_desc_init(a);
    array_declare(a, 1, &bounds, true);
}

// The print statement of one item: the fit check, the string (consumed when it
// is a temporary), then the line end.
inline void print_line(StrDesc* text) {
    print_fit_check(text);
    print_string(text, 0);
    print_string(line_end_string(), 1);
}

// The cursor-position statement with a row and a column.
inline void locate(int32_t row, int32_t column) {
    set_cursor_position(row, column, 0, 0, 0, cursor_passed_row | cursor_passed_column);
}

// The colour statement with a foreground only, or a foreground and a background.
inline void colour(uint32_t foreground) { set_colours(foreground, 0, 0, 1); }
inline void colour(uint32_t foreground, uint32_t background) { set_colours(foreground, background, 0, 3); }

// The clear-screen statement without arguments.
inline void cls() { clear_screen(0, 0, 0); }

// The timed pause: ends after `seconds` or at the first key press.
inline void pause_seconds(int32_t seconds) { sleep_seconds(seconds, 1); }

// A key string read from the key buffer equals `text` (an extended key is
// the character 0 followed by its scan code: "\0H" is cursor up).
template <uint32_t N>
inline bool key_is(const StrDesc* key, const char (&text)[N]) {
    return str_equal(key, str_lit(text)) != 0;
}

// The seeding statement with the time of day.
inline void randomize_timer() { randomize_with(timer_value(0, 0), 1); }

// INT(RND * n) + 1: a whole number from 1 to n.
inline int32_t random_one_to(int32_t n) {
    return round_single_to_int(std::floor(rnd_next(0) * static_cast<float>(n)) + 1.0f);
}
