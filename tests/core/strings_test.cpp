// The string system: operations, temporaries, assignment, both
// buffers and their compaction, and the critical errors of its stores.
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"

namespace {

std::string text(const StrDesc* s) { return std::string(str_view(s)); }

// A permanent heap variable holding `value`, as compiled code makes one.
StrDesc* variable(const std::string& value) {
    StrDesc* v = str_new(0, 0);
    return str_assign(v, str_from_bytes(value.data(), static_cast<uint32_t>(value.size())));
}

StrDesc* temp_of(const std::string& value) { return str_from_bytes(value.data(), static_cast<uint32_t>(value.size())); }

// The two words of a permanent low string's length slot.
void read_slot(const StrDesc* s, uint16_t& length, uint16_t& offset) {
    const uint8_t* slot = low_memory() + low_string_segment + s->length_slot_offset;
    length = static_cast<uint16_t>(slot[0] | slot[1] << 8);
    offset = static_cast<uint16_t>(slot[2] | slot[3] << 8);
}

uint32_t segment_offset(const StrDesc* s) {
    return static_cast<uint32_t>(s->data - (low_memory() + low_string_segment));
}

class Strings : public ::testing::Test {
protected:
    void SetUp() override {
        flags_reset();
        low_memory_clear();
        strings_reset();
    }
    void TearDown() override { strings_shutdown(); }
};

// --- Start-up ---

TEST_F(Strings, StartupMakesThePermanentLowStrings) {
    StrDesc* end = line_end_string();
    StrDesc* space = space_string();
    EXPECT_EQ(text(end), "");
    EXPECT_EQ(text(space), " ");
    EXPECT_TRUE(end->in_low_segment && space->in_low_segment);
    EXPECT_FALSE(end->is_temporary || space->is_temporary);
    EXPECT_EQ(segment_offset(end), low_string_first_offset);
    EXPECT_EQ(segment_offset(space), low_string_first_offset);
    // Slots grow down from just below the 8-byte EmptyArrayBlock.
    EXPECT_EQ(end->length_slot_offset, 0x10000 - 8 - 4);
    EXPECT_EQ(space->length_slot_offset, 0x10000 - 8 - 8);
    uint16_t length, offset;
    read_slot(space, length, offset);
    EXPECT_EQ(length, 1);
    EXPECT_EQ(offset, 0x100);
    StringStats st = strings_stats();
    EXPECT_EQ(st.heap_size, 1048576u);
    EXPECT_EQ(st.heap_used, 0u);
    EXPECT_EQ(st.temp_count, 1u);
    EXPECT_EQ(st.heap_list_capacity, 65535u);
    EXPECT_EQ(st.low_used, 0x101u);
    EXPECT_EQ(st.low_slot_top, 0x10000u - 16);
}

TEST_F(Strings, EmptyArrayBlockIsTheSegmentTopAndZero) {
    EXPECT_EQ(empty_array_block(), low_memory() + 0x500 + 0x10000 - 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(empty_array_block()[i], 0);
}

TEST_F(Strings, FreeingABuiltinStringIsIgnored) {
    str_free(space_string());
    EXPECT_EQ(text(space_string()), " ");
}

// --- Making strings ---

TEST_F(Strings, BytesOfAnotherStringSurviveTheHeapMovingUnderThem) {
    // A value near the heap's size: copying it needs a bigger heap, which may
    // move (or compact) the very bytes being copied.
    StrDesc* big = variable(std::string(1000000, 'q') + "end");
    std::string_view bytes = str_view(big);
    StrDesc* copy = str_from_bytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(text(copy), std::string(1000000, 'q') + "end");
    EXPECT_GT(strings_stats().heap_growths, 0u);
    // A "literal" made of such bytes is no borrowed view: it is a copy that
    // stays right when the heap moves again.
    bytes = str_view(big);
    StrDesc* view = str_from_literal(bytes.data(), 3);
    EXPECT_NE(reinterpret_cast<const char*>(view->data), bytes.data());
    StrDesc* more = variable(std::string(2000000, 'z'));
    EXPECT_EQ(text(view), "qqq");
    str_free(more);
}

TEST_F(Strings, LiteralBorrowsItsBytes) {
    static const char hello[] = "HELLO";
    StrDesc* s = str_from_literal(hello, 5);
    EXPECT_EQ(reinterpret_cast<const char*>(s->data), hello);
    EXPECT_TRUE(s->is_readonly && s->is_temporary);
    EXPECT_EQ(s->temp_index, 1u);
    EXPECT_EQ(strings_stats().heap_list_count, 0u);
    EXPECT_EQ(text(str_lit("ABC")), "ABC");
}

TEST_F(Strings, CStringTakesItsLengthFromTheTerminator) {
    EXPECT_EQ(str_from_cstring("abc")->length, 3u);
    EXPECT_EQ(str_from_cstring(nullptr)->length, 0u);
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(Strings, NewHeapStringsLeave32SpareBytes) {
    StrDesc* a = str_new(10, 0);
    StrDesc* b = str_new(5, 1);
    EXPECT_EQ(b->data, a->data + 42);
    EXPECT_EQ(strings_stats().heap_used, 42u + 37u);
    EXPECT_FALSE(a->is_temporary);
    EXPECT_TRUE(b->is_temporary);
    EXPECT_EQ(a->list_index, 0u);
    EXPECT_EQ(b->list_index, 1u);
}

TEST_F(Strings, FreeingTheLastHeapStringTakesTheUsedEndBack) {
    StrDesc* a = str_new(10, 0);
    StrDesc* b = str_new(100, 0);
    str_free(b);
    EXPECT_EQ(strings_stats().heap_used, 42u);
    EXPECT_EQ(strings_stats().heap_list_count, 1u);
    str_free(a);
    EXPECT_EQ(strings_stats().heap_used, 0u);
}

TEST_F(Strings, DescriptorsAreRecycled) {
    StrDesc* a = str_new(3, 0);
    str_free(a);
    StrDesc* b = str_new(3, 1);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(b->is_temporary);
    EXPECT_EQ(b->field_link, nullptr);
}

// --- Temporaries ---

TEST_F(Strings, FreeingTheNewestTemporaryLowersTheCount) {
    StrDesc* a = str_lit("a");
    StrDesc* b = str_lit("b");
    EXPECT_EQ(str_temp_count(), 3u);
    str_free(b);
    EXPECT_EQ(str_temp_count(), 2u);
    str_free(a);
    EXPECT_EQ(str_temp_count(), 1u);
}

// A consumed argument goes only when it is a temporary: a variable, a built-in
// string and null stay as they are.
TEST_F(Strings, ConsumingReleasesTemporariesOnly) {
    StrDesc* kept = variable("kept");
    const uint32_t heap_strings = strings_stats().heap_list_count;
    const uint32_t mark = str_temp_count();
    StrDesc* temp = temp_of("gone");
    str_consume(temp);
    str_consume(kept);
    str_consume(space_string());
    str_consume(nullptr);
    EXPECT_EQ(str_temp_count(), mark);
    EXPECT_EQ(strings_stats().heap_list_count, heap_strings);
    EXPECT_EQ(text(kept), "kept");
    EXPECT_EQ(text(space_string()), " ");
}

TEST_F(Strings, FreeingAnOlderTemporaryLeavesAHoleThatReleaseSkips) {
    uint32_t mark = str_temp_count();
    StrDesc* a = str_new(4, 1);
    StrDesc* b = str_new(4, 1);
    StrDesc* c = str_new(4, 1);
    str_free(b);
    EXPECT_EQ(str_temp_count(), mark + 3);
    uint32_t free_before = strings_stats().free_descriptors;
    EXPECT_EQ(str_release_temps(mark, -1), -1);
    EXPECT_EQ(str_temp_count(), mark);
    // a and c released once each; b's hole skipped.
    EXPECT_EQ(strings_stats().free_descriptors, free_before + 2);
    EXPECT_EQ(strings_stats().heap_list_count, 0u);
    EXPECT_EQ(strings_stats().heap_used, 0u);
    (void)a;
    (void)c;
}

TEST_F(Strings, FreeingAnOlderThenTheNewestDropsPastTheHole) {
    StrDesc* a = str_lit("a");
    StrDesc* b = str_lit("b");
    str_free(a);
    EXPECT_EQ(str_temp_count(), 3u);
    str_free(b);
    EXPECT_EQ(str_temp_count(), 1u);
}

TEST_F(Strings, ReleaseKeepsTemporariesBelowTheMark) {
    StrDesc* outer = str_lit("outer");
    uint32_t mark = str_temp_count();
    str_lit("inner");
    str_release_temps(mark, 0);
    EXPECT_TRUE(outer->is_temporary);
    EXPECT_EQ(text(outer), "outer");
    EXPECT_EQ(str_temp_count(), mark);
    EXPECT_EQ(str_release_temps(mark + 10, 7), 7);
}

TEST_F(Strings, ReleaseWithMarkZeroReleasesEverything) {
    str_lit("x");
    str_new(3, 1);
    str_release_temps(0, 0);
    EXPECT_EQ(str_temp_count(), 1u);
}

TEST_F(Strings, PermanentStringsAreNotReleasedAtStatementEnd) {
    StrDesc* v = variable("keep");
    str_release_temps(1, 0);
    EXPECT_EQ(text(v), "keep");
    EXPECT_FALSE(v->is_temporary);
}

// --- str_mid / str_right / str_ltrim / str_upper bounds ---

struct MidCase {
    int32_t start, length, given;
    const char* expected;
};

TEST_F(Strings, MidBoundsOnAllKindsOfSource) {
    const MidCase cases[] = {
        {0, 3, 1, "HE"},
        {4, 0, 0, "LO"},
        {9, 0, 0, ""},
        {2, 3, 1, "ELL"},
        {2, 100, 1, "ELLO"},
        {-5, 10, 1, "HELL"},
        {1, 0, 1, ""},
        {5, 1, 1, "O"},
        {6, 1, 1, ""},
        {3, -1, 1, ""},
        {1, 5, 1, "HELLO"},
        {0, 0, 0, "HELLO"},
        {-3, 0, 0, "HELLO"},
        {5, 0, 0, "O"},
        {6, 0, 0, ""},
        {0, 1, 1, ""},
        {INT32_MIN, INT32_MAX, 1, ""},
        {1, INT32_MAX, 1, "HELLO"},
        {INT32_MAX, 1, 1, ""},
    };
    for (const MidCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << "," << c.length << "," << c.given);
        StrDesc* var = variable("HELLO");
        EXPECT_EQ(text(str_mid(var, c.start, c.length, c.given)), c.expected);
        EXPECT_EQ(text(var), "HELLO");  // a variable is never changed
        EXPECT_EQ(text(str_mid(str_lit("HELLO"), c.start, c.length, c.given)), c.expected);
        EXPECT_EQ(text(str_mid(temp_of("HELLO"), c.start, c.length, c.given)), c.expected);
        str_release_temps(1, 0);
        str_free(var);
    }
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(Strings, MidOfATemporaryHeapStringWorksInPlace) {
    StrDesc* t = temp_of("HELLO");
    uint8_t* data = t->data;
    StrDesc* r = str_mid(t, 2, 3, 1);
    EXPECT_EQ(r, t);
    EXPECT_EQ(r->data, data + 1);
    EXPECT_EQ(text(r), "ELL");
    // An empty result counts as start 1.
    StrDesc* u = temp_of("HELLO");
    uint8_t* udata = u->data;
    EXPECT_EQ(str_mid(u, 9, 0, 0)->data, udata);
}

TEST_F(Strings, MidOfTheWholeStringReturnsItUnchanged) {
    StrDesc* lit = str_lit("HELLO");
    EXPECT_EQ(str_mid(lit, 1, 5, 1), lit);
    StrDesc* var = variable("HELLO");
    EXPECT_EQ(str_mid(var, 0, 0, 0), var);
}

TEST_F(Strings, MidOfALiteralMakesANewTemporaryAndReleasesTheLiteral) {
    StrDesc* lit = str_lit("HELLO");
    uint32_t count = str_temp_count();
    StrDesc* r = str_mid(lit, 2, 2, 1);
    EXPECT_NE(r, lit);
    EXPECT_TRUE(r->is_temporary);
    EXPECT_FALSE(r->is_readonly);
    EXPECT_EQ(text(r), "EL");
    EXPECT_EQ(str_temp_count(), count + 1);  // the literal's entry is a hole below r
    EXPECT_EQ(r->temp_index, count);
}

TEST_F(Strings, RightBounds) {
    const struct {
        int32_t n;
        const char* expected;
    } cases[] = {{-1, ""},       {0, ""}, {1, "O"}, {2, "LO"}, {5, "HELLO"}, {6, "HELLO"}, {INT32_MAX, "HELLO"},
                 {INT32_MIN, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        StrDesc* var = variable("HELLO");
        EXPECT_EQ(text(str_right(var, c.n)), c.expected);
        EXPECT_EQ(text(var), "HELLO");
        EXPECT_EQ(text(str_right(str_lit("HELLO"), c.n)), c.expected);
        EXPECT_EQ(text(str_right(temp_of("HELLO"), c.n)), c.expected);
        str_release_temps(1, 0);
        str_free(var);
    }
    StrDesc* t = temp_of("HELLO");
    EXPECT_EQ(str_right(t, 9), t);
    EXPECT_EQ(str_right(t, 2), t);
    EXPECT_EQ(text(t), "LO");
    EXPECT_EQ(text(str_right(str_lit(""), 3)), "");
}

TEST_F(Strings, LtrimRemovesOnlyLeadingSpaces) {
    const struct {
        const char* in;
        const char* expected;
    } cases[] = {{"  AB ", "AB "}, {"AB", "AB"}, {"   ", ""}, {"", ""}, {"\tA", "\tA"}, {" \t A", "\t A"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        StrDesc* var = variable(c.in);
        EXPECT_EQ(text(str_ltrim(var)), c.expected);
        EXPECT_EQ(text(var), c.in);
        EXPECT_EQ(text(str_ltrim(str_from_cstring(c.in))), c.expected);
        EXPECT_EQ(text(str_ltrim(temp_of(c.in))), c.expected);
        str_release_temps(1, 0);
        str_free(var);
    }
    StrDesc* lit = str_lit("X ");
    EXPECT_EQ(str_ltrim(lit), lit);
}

TEST_F(Strings, UpperChangesOnlyAToZ) {
    StrDesc* var = variable("abc XYZ {`z\xe4");
    StrDesc* r = str_upper(var);
    EXPECT_NE(r, var);
    EXPECT_EQ(text(r), "ABC XYZ {`Z\xe4");
    EXPECT_EQ(text(var), "abc XYZ {`z\xe4");
    StrDesc* none = str_lit("NO LOWER 123");
    EXPECT_EQ(str_upper(none), none);
    StrDesc* t = temp_of("mixed Case");
    EXPECT_EQ(str_upper(t), t);
    EXPECT_EQ(text(t), "MIXED CASE");
    EXPECT_EQ(text(str_upper(str_lit("lit"))), "LIT");
}

// --- str_concat ---

TEST_F(Strings, ConcatWithAnEmptyStringReturnsTheOther) {
    StrDesc* t = temp_of("abc");
    EXPECT_EQ(str_concat(str_lit(""), t), t);
    StrDesc* u = temp_of("def");
    EXPECT_EQ(str_concat(u, str_lit("")), u);
    StrDesc* var = variable("v");
    EXPECT_EQ(str_concat(var, str_lit("")), var);
}

TEST_F(Strings, ConcatReleasesItsTemporaries) {
    uint32_t mark = str_temp_count();
    StrDesc* var = variable("abc");
    StrDesc* r = str_concat(var, str_concat(str_lit("-"), temp_of("xyz")));
    EXPECT_EQ(text(r), "abc-xyz");
    EXPECT_EQ(text(var), "abc");
    // The inner temporaries are gone; only the result and the holes below it remain.
    EXPECT_EQ(r->temp_index, str_temp_count() - 1);
    str_release_temps(mark, 0);
    EXPECT_EQ(str_temp_count(), mark);
}

TEST_F(Strings, ConcatOfATemporaryWithItself) {
    StrDesc* t = temp_of("ab");
    StrDesc* r = str_concat(t, t);
    EXPECT_EQ(text(r), "abab");
    EXPECT_EQ(r->temp_index, 2u);
    EXPECT_EQ(str_temp_count(), 3u);  // t's entry is a hole below r
    str_free(r);
    EXPECT_EQ(str_temp_count(), 1u);
}

// --- Comparison and str_chr ---

TEST_F(Strings, EqualAndNotEqual) {
    StrDesc* a = variable("abc");
    EXPECT_EQ(str_equal(a, str_lit("abc")), -1);
    EXPECT_EQ(str_equal(a, str_lit("abd")), 0);
    EXPECT_EQ(str_equal(a, str_lit("ab")), 0);
    EXPECT_EQ(str_not_equal(a, str_lit("ab")), -1);
    EXPECT_EQ(str_not_equal(a, a), 0);
    EXPECT_EQ(str_equal(str_lit(""), str_from_cstring(nullptr)), -1);
    // Comparison does not consume.
    StrDesc* t = temp_of("x");
    str_equal(t, t);
    EXPECT_TRUE(t->is_temporary);
    EXPECT_EQ(text(t), "x");
}

TEST_F(Strings, ChrMakesOneByte) {
    EXPECT_EQ(text(str_chr(65)), "A");
    EXPECT_EQ(str_chr(0)->length, 1u);
    EXPECT_EQ(str_chr(0)->data[0], 0);
    EXPECT_EQ(str_chr(255)->data[0], 255);
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(Strings, ChrOutOfRangeGivesEmptyAndError5) {
    EXPECT_EQ(text(str_chr(256)), "");
    EXPECT_EQ(error_code.load(), 5);
    error_code = 0;
    EXPECT_EQ(text(str_chr(-1)), "");
    EXPECT_EQ(error_code.load(), 5);
}

TEST_F(Strings, NullArgumentsGiveError5AndNeutralValues) {
    EXPECT_EQ(text(str_upper(nullptr)), "");
    EXPECT_EQ(error_code.load(), 5);
    error_code = 0;
    EXPECT_EQ(str_equal(nullptr, str_lit("")), 0);
    EXPECT_EQ(error_code.load(), 5);
    error_code = 0;
    StrDesc* v = variable("v");
    EXPECT_EQ(str_assign(v, nullptr), v);
    EXPECT_EQ(text(v), "v");
    EXPECT_EQ(error_code.load(), 5);
    error_code = 0;
    uint32_t count = str_temp_count();
    str_assign(nullptr, str_lit("x"));  // the temporary is still consumed
    EXPECT_EQ(str_temp_count(), count);
    EXPECT_EQ(error_code.load(), 5);
}

TEST_F(Strings, OperationsWorkWhileAnErrorIsPending) {
    runtime_error(9);
    StrDesc* v = variable("ab");
    str_assign(v, str_concat(v, str_lit("cd")));
    EXPECT_EQ(text(v), "abcd");
    EXPECT_EQ(text(str_mid(v, 2, 2, 1)), "bc");
    EXPECT_EQ(error_code.load(), 9);
}

// --- Assignment ---

TEST_F(Strings, FixedLengthAssignmentPadsAndTruncates) {
    uint8_t field[7] = {'#', 0, 0, 0, 0, 0, '#'};
    StrDesc* f = str_new_fixed(field + 1, 5);
    EXPECT_TRUE(f->is_fixed);
    str_assign(f, str_lit("ABC"));
    EXPECT_EQ(text(f), "ABC  ");
    str_assign(f, str_lit("ABCDEFG"));
    EXPECT_EQ(text(f), "ABCDE");
    EXPECT_EQ(f->length, 5u);
    EXPECT_EQ(field[0], '#');
    EXPECT_EQ(field[6], '#');
    str_assign(f, str_lit(""));
    EXPECT_EQ(text(f), "     ");
    // A temporary heap source is copied and released, not adopted.
    str_assign(f, temp_of("xy"));
    EXPECT_EQ(text(f), "xy   ");
    EXPECT_EQ(f->data, field + 1);
    EXPECT_EQ(str_temp_count(), 1u);
    EXPECT_EQ(strings_stats().heap_list_count, 0u);
    // A fixed string as a source of an ordinary variable.
    StrDesc* v = variable("");
    str_assign(v, f);
    EXPECT_EQ(text(v), "xy   ");
    str_free(f);
    EXPECT_EQ(field[1], 'x');
}

TEST_F(Strings, AssignmentAdoptsATemporary) {
    StrDesc* v = variable("old");
    StrDesc* t = temp_of("a new value");
    uint8_t* chars = t->data;
    uint32_t index = t->list_index;
    uint32_t free_before = strings_stats().free_descriptors;
    EXPECT_EQ(str_assign(v, t), v);
    EXPECT_EQ(v->data, chars);
    EXPECT_EQ(v->list_index, index);
    EXPECT_EQ(text(v), "a new value");
    EXPECT_FALSE(v->is_temporary);
    EXPECT_EQ(strings_stats().free_descriptors, free_before + 1);
    EXPECT_EQ(str_temp_count(), 1u);
    str_release_temps(1, 0);
    EXPECT_EQ(text(v), "a new value");
}

TEST_F(Strings, AssignmentCopiesAPermanentSource) {
    StrDesc* a = variable("source");
    StrDesc* b = variable("");
    str_assign(b, a);
    EXPECT_EQ(text(b), "source");
    EXPECT_NE(b->data, a->data);
    str_assign(a, str_lit("changed"));
    EXPECT_EQ(text(b), "source");
}

TEST_F(Strings, AssignToItselfChangesNothing) {
    StrDesc* a = variable("same");
    EXPECT_EQ(str_assign(a, a), a);
    EXPECT_EQ(text(a), "same");
}

TEST_F(Strings, ShorterValuesAreCopiedInPlace) {
    StrDesc* a = variable("a long value");
    variable("after");
    uint8_t* chars = a->data;
    str_assign(a, str_lit("short"));
    EXPECT_EQ(a->data, chars);
    EXPECT_EQ(text(a), "short");
}

TEST_F(Strings, LongerValueFittingBeforeTheNextStringIsCopiedInPlace) {
    StrDesc* a = str_new(10, 0);
    StrDesc* b = str_new(4, 0);
    std::memcpy(a->data, "0123456789", 10);
    std::memcpy(b->data, "next", 4);
    uint8_t* chars = a->data;
    // 10 characters + 32 spare bytes before b.
    str_assign(a, str_lit("0123456789012345678901234567890123456789ab"));
    EXPECT_EQ(a->data, chars);
    EXPECT_EQ(text(b), "next");
    str_assign(a, str_lit("0123456789012345678901234567890123456789abc"));
    EXPECT_NE(a->data, chars);
    EXPECT_EQ(text(a), "0123456789012345678901234567890123456789abc");
    EXPECT_EQ(text(b), "next");
    EXPECT_EQ(a->list_index, 2u);  // appended, its old entry a hole
}

TEST_F(Strings, TheLastHeapStringGrowsInPlace) {
    variable("first");
    StrDesc* v = variable("");
    uint8_t* chars = v->data;
    uint64_t used_before = strings_stats().heap_used;  // v's start + 32
    std::string value;
    for (int i = 0; i < 5000; ++i) {
        value += static_cast<char>('a' + i % 26);
        str_assign(v, str_from_literal(value.data(), static_cast<uint32_t>(value.size())));
        str_release_temps(1, 0);
        ASSERT_EQ(v->data, chars);
    }
    EXPECT_EQ(text(v), value);
    StringStats st = strings_stats();
    // Growth at the end moves the used end without spare bytes.
    EXPECT_EQ(st.heap_used, used_before - 32 + value.size());
    EXPECT_EQ(st.heap_compactions, 0u);
}

TEST_F(Strings, TheLastHeapStringGrowsPastTheHeapByRelocating) {
    StrDesc* v = variable("");
    std::string big(1048576 + 100, 'q');
    str_assign(v, str_from_literal(big.data(), static_cast<uint32_t>(big.size())));
    EXPECT_EQ(text(v), big);
    EXPECT_GE(strings_stats().heap_size, big.size());
    EXPECT_EQ(strings_stats().heap_growths, 1u);
}

TEST_F(Strings, AHeapVariableTakesALowTemporaryByCopy) {
    StrDesc* v = variable("v");
    StrDesc* t = str_new_low(3, 1);
    std::memcpy(t->data, "low", 3);
    str_assign(v, t);
    EXPECT_EQ(text(v), "low");
    EXPECT_FALSE(v->in_low_segment);
    EXPECT_EQ(str_temp_count(), 1u);
    EXPECT_EQ(strings_stats().low_list_count, 2u);  // only the built-ins remain
}

// --- The low segment ---

TEST_F(Strings, PermanentLowStringsKeepTheirSlotCurrent) {
    StrDesc* s = str_new_low(0, 0);
    uint16_t length, offset;
    str_assign(s, str_lit("hello"));
    read_slot(s, length, offset);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(offset, segment_offset(s));
    EXPECT_EQ(text(s), "hello");
    StrDesc* t = str_new_low(7, 1);
    std::memcpy(t->data, "adopted", 7);
    uint8_t* chars = t->data;
    str_assign(s, t);
    EXPECT_EQ(s->data, chars);
    read_slot(s, length, offset);
    EXPECT_EQ(length, 7);
    EXPECT_EQ(offset, segment_offset(s));
    str_assign(s, str_lit("hi"));
    read_slot(s, length, offset);
    EXPECT_EQ(length, 2);
}

TEST_F(Strings, LowTemporariesHaveNoSlot) {
    uint32_t top = strings_stats().low_slot_top;
    StrDesc* t = str_new_low(4, 1);
    EXPECT_EQ(t->length_slot, nullptr);
    EXPECT_EQ(strings_stats().low_slot_top, top);
    StrDesc* p = str_new_low(4, 0);
    EXPECT_EQ(strings_stats().low_slot_top, top - 4);
    EXPECT_EQ(p->length_slot_offset, top - 4);
}

TEST_F(Strings, FreedSlotsAreReused) {
    uint32_t top = strings_stats().low_slot_top;
    StrDesc* a = str_new_low(1, 0);
    StrDesc* b = str_new_low(1, 0);
    uint16_t a_slot = a->length_slot_offset;
    str_free(a);
    StrDesc* c = str_new_low(1, 0);
    EXPECT_EQ(c->length_slot_offset, a_slot);
    str_free(b);
    EXPECT_EQ(strings_stats().low_slot_top, top - 4);
    str_free(c);
    EXPECT_EQ(strings_stats().low_slot_top, top);
}

TEST_F(Strings, TheLastLowStringGrowsInPlace) {
    StrDesc* s = str_new_low(0, 0);
    uint8_t* chars = s->data;
    std::string value;
    for (int i = 0; i < 300; ++i) {
        value += 'x';
        str_assign(s, str_from_literal(value.data(), static_cast<uint32_t>(value.size())));
        str_release_temps(1, 0);
    }
    EXPECT_EQ(s->data, chars);
    EXPECT_EQ(strings_stats().low_used, segment_offset(s) + 300);
}

TEST_F(Strings, LowStringRelocatesWhenBlocked) {
    StrDesc* a = str_new_low(0, 0);
    StrDesc* b = str_new_low(0, 0);
    str_assign(b, str_lit("B"));
    str_assign(a, str_lit("AAAA"));
    EXPECT_EQ(text(a), "AAAA");
    EXPECT_EQ(text(b), "B");
    EXPECT_GT(a->data, b->data);
    uint16_t length, offset;
    read_slot(a, length, offset);
    EXPECT_EQ(offset, segment_offset(a));
}

// --- Compaction under pressure ---

std::string value_of(int i) {
    std::string v = "v" + std::to_string(i) + ":";
    v.append(static_cast<size_t>(i % 97), static_cast<char>('A' + i % 26));
    return v;
}

TEST_F(Strings, HeapCompactsAndGrowsKeepingEveryValue) {
    constexpr int count = 20000;
    std::vector<StrDesc*> vars(count);
    for (int i = 0; i < count; ++i) vars[i] = variable(value_of(i));
    // Churn: rewrite every variable many times with longer and shorter values
    // so the heap fills, compacts and grows.
    for (int round = 1; round <= 6; ++round) {
        for (int i = 0; i < count; ++i) {
            int j = i * 7 + round * 13;
            str_assign(vars[i], str_concat(temp_of(value_of(j)), str_lit("|tail")));
            str_release_temps(1, 0);
        }
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(text(vars[i]), value_of(i * 7 + round * 13) + "|tail") << "round " << round << " var " << i;
        }
    }
    StringStats st = strings_stats();
    EXPECT_GT(st.heap_compactions, 0u);
    EXPECT_EQ(st.temp_count, 1u);
    // Live entries still in address order.
    const uint8_t* previous = nullptr;
    std::vector<StrDesc*> sorted(vars);
    std::sort(sorted.begin(), sorted.end(), [](auto a, auto b) { return a->list_index < b->list_index; });
    for (StrDesc* s : sorted) {
        if (previous) {
            EXPECT_GE(s->data, previous);
        }
        previous = s->data + s->length;
    }
}

TEST_F(Strings, HeapListRemovesHolesBeforeGrowing) {
    // 70,000 variables made with only one alive at a time: the list removes its
    // holes when it is full and never doubles.
    StrDesc* keep = variable("keep");
    for (int i = 0; i < 70000; ++i) {
        StrDesc* v = variable(value_of(i));
        str_free(keep);
        keep = v;
    }
    EXPECT_EQ(text(keep), value_of(69999));
    EXPECT_EQ(strings_stats().heap_list_capacity, 65535u);
}

TEST_F(Strings, HeapListDoublesWhenHalfFullOfLiveStrings) {
    std::vector<StrDesc*> live;
    for (int i = 0; i < 70000; ++i) live.push_back(variable(value_of(i)));
    EXPECT_EQ(strings_stats().heap_list_capacity, 65535u * 2);
    for (int i = 0; i < 70000; i += 997) ASSERT_EQ(text(live[static_cast<size_t>(i)]), value_of(i));
}

TEST_F(Strings, HeapStringsSurviveManyFreesAndCompactions) {
    std::vector<StrDesc*> live;
    std::vector<std::string> expected;
    for (int i = 0; i < 60000; ++i) {
        live.push_back(variable(value_of(i)));
        expected.push_back(value_of(i));
        if (i % 3 == 2) {  // free one from anywhere
            size_t k = static_cast<size_t>(i) * 7919 % live.size();
            str_free(live[k]);
            live[k] = live.back();
            expected[k] = expected.back();
            live.pop_back();
            expected.pop_back();
        }
    }
    for (size_t k = 0; k < live.size(); ++k) ASSERT_EQ(text(live[k]), expected[k]) << k;
    EXPECT_GT(strings_stats().heap_compactions, 0u);
}

TEST_F(Strings, LowSegmentCompactsKeepingValuesAndSlots) {
    std::vector<StrDesc*> strings;
    std::vector<std::string> expected;
    uint32_t compactions = 0;
    for (int i = 0; i < 6000; ++i) {
        std::string v = value_of(i).substr(0, 20);
        StrDesc* s = str_new_low(static_cast<uint32_t>(v.size()), 0);
        std::memcpy(s->data, v.data(), v.size());
        strings.push_back(s);
        expected.push_back(v);
        if (strings.size() > 1500) {  // keep about 1500 alive, free the oldest half-way
            size_t k = strings.size() / 2;
            str_free(strings[k]);
            strings.erase(strings.begin() + static_cast<long>(k));
            expected.erase(expected.begin() + static_cast<long>(k));
        }
        compactions = strings_stats().low_compactions;
    }
    EXPECT_GT(compactions, 0u);
    for (size_t k = 0; k < strings.size(); ++k) {
        ASSERT_EQ(text(strings[k]), expected[k]) << k;
        uint16_t length, offset;
        read_slot(strings[k], length, offset);
        ASSERT_EQ(length, expected[k].size());
        ASSERT_EQ(offset, segment_offset(strings[k]));
    }
    EXPECT_EQ(text(space_string()), " ");
    uint16_t length, offset;
    read_slot(space_string(), length, offset);
    EXPECT_EQ(offset, segment_offset(space_string()));
}

// --- Steady state: no general allocation per string ---

TEST_F(Strings, AStatementLoopMakesNoGeneralAllocations) {
    StrDesc* a = variable("");
    StrDesc* b = variable("");
    auto statement = [&](int i) {
        uint32_t mark = str_temp_count();
        str_assign(a,
                   str_concat(str_concat(str_lit("item "), str_right(temp_of(std::to_string(i)), 3)),
                              str_mid(str_lit("-abcdef-"), 2, i % 7, 1)));
        str_release_temps(mark, 0);
        str_assign(b, str_upper(str_concat(b, str_right(a, 2))));
        str_release_temps(mark, 0);
        if (b->length > 200) str_assign(b, str_lit(""));
    };
    for (int i = 0; i < 100000; ++i) statement(i);
    uint64_t before = strings_stats().system_allocations;
    for (int i = 0; i < 200000; ++i) statement(i);
    EXPECT_EQ(strings_stats().system_allocations, before);
    EXPECT_EQ(strings_stats().temp_count, 1u);
    EXPECT_EQ(strings_stats().heap_size, 1048576u);
}

// --- Critical errors of the stores: each ends the process with exit code 0
// after its box ("Critical Error #N", also written to stderr). ---

using StringsDeathTest = Strings;

TEST_F(StringsDeathTest, HeapThatCannotGrowIs512) {
    EXPECT_EXIT(
        {
            strings_fail_next_growth();
            str_new(2 * 1048576, 0);
        },
        testing::ExitedWithCode(0), "Critical Error #12\\b");
}

TEST_F(StringsDeathTest, FullLowSegmentIs513) {
    EXPECT_EXIT(str_new_low(0x10000 - 0x100, 0), testing::ExitedWithCode(0), "Critical Error #13\\b");
}

TEST_F(StringsDeathTest, LowSegmentFullOfLiveStringsIs513) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < 100; ++i) str_new_low(1000, 0);
        },
        testing::ExitedWithCode(0), "Critical Error #13\\b");
}

TEST_F(StringsDeathTest, NoRoomForALengthSlotIs514) {
    // The characters fill the segment up to the slots exactly; the slot has no room.
    uint32_t room = strings_stats().low_slot_top - strings_stats().low_used;
    EXPECT_EXIT(str_new_low(room, 0), testing::ExitedWithCode(0), "Critical Error #14\\b");
}

TEST_F(Strings, ALowStringThatFillsTheSegmentWithItsSlotFits) {
    uint32_t room = strings_stats().low_slot_top - strings_stats().low_used;
    StrDesc* s = str_new_low(room - 4, 0);
    EXPECT_EQ(strings_stats().low_slot_top, strings_stats().low_used);
    EXPECT_EQ(s->length_slot_offset, strings_stats().low_slot_top);
    // A temporary needs no slot and fits in nothing but an empty string.
    EXPECT_EQ(str_new_low(0, 1)->length, 0u);
}

TEST_F(Strings, LowCompactionMakesRoomForTheSlot) {
    uint32_t room = strings_stats().low_slot_top - strings_stats().low_used;
    StrDesc* t = str_new_low(100, 1);
    str_new_low(room - 100 - 4 - 4, 0);
    str_free(t);  // a 100-byte gap at the bottom
    StrDesc* s = str_new_low(90, 0);
    EXPECT_EQ(strings_stats().low_compactions, 1u);
    uint16_t length, offset;
    read_slot(s, length, offset);
    EXPECT_EQ(length, 90);
    EXPECT_EQ(offset, segment_offset(s));
}

TEST_F(StringsDeathTest, TempListThatCannotGrowIs511) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < 65535; ++i) str_lit("t");
            strings_fail_next_growth();
            str_lit("one too many");
        },
        testing::ExitedWithCode(0), "Critical Error #11\\b");
}

TEST_F(StringsDeathTest, HeapListThatCannotGrowIs510) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < 65536; ++i) str_new(0, 0);
            strings_fail_next_growth();
            str_new(0, 0);
        },
        testing::ExitedWithCode(0), "Critical Error #10\\b");
}

TEST_F(StringsDeathTest, LowListThatCannotGrowIs509) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < 65534; ++i) str_new_low(0, 1);
            str_free(str_new(0, 0));  // the second descriptor block, and one free record
            strings_fail_next_growth();
            str_new_low(0, 1);
        },
        testing::ExitedWithCode(0), "Critical Error #9\\b");
}

TEST_F(StringsDeathTest, FreeStackThatCannotGrowIs508) {
    EXPECT_EXIT(
        {
            std::vector<StrDesc*> all;
            for (int i = 0; i < 65537; ++i) all.push_back(str_new(0, 0));
            for (int i = 0; i < 65536; ++i) str_free(all[static_cast<size_t>(i)]);
            strings_fail_next_growth();
            str_free(all.back());
        },
        testing::ExitedWithCode(0), "Critical Error #8\\b");
}

TEST_F(StringsDeathTest, DescriptorBlockThatCannotBeHadIs508) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < 65534; ++i) str_lit("t");  // with the two built-ins: one full block
            strings_fail_next_growth();
            str_lit("t");
        },
        testing::ExitedWithCode(0), "Critical Error #8\\b");
}

TEST_F(Strings, GrowingStoresWithoutFailureGoesOn) {
    for (int i = 0; i < 70000; ++i) str_lit("t");
    EXPECT_EQ(strings_stats().temp_capacity, 65535u * 2);
    str_release_temps(1, 0);
    std::vector<StrDesc*> all;
    for (int i = 0; i < 70000; ++i) all.push_back(str_new_low(0, 1));
    EXPECT_GT(strings_stats().low_list_capacity, 65535u);
    for (StrDesc* s : all) str_free(s);
    EXPECT_GE(strings_stats().free_stack_capacity, 65536u * 2);
    EXPECT_EQ(strings_stats().descriptor_blocks, 2u);
}

}  // namespace
