// KeyTranslationTable against a second, independent writing of the same facts:
// the US keyboard as rows of keys, and the fixed rows of the editing, function
// and keypad keys copied out again, compared row by row and field by field.
#include <gtest/gtest.h>
#include <array>
#include <cctype>
#include <cstring>
#include <vector>
#include "runtime/input/keyboard_internal.h"

namespace {
using Row = std::array<int32_t, 10>;
using Table = std::vector<Row>;

// The US keyboard, one line of keys at a time: the scan code of the line's
// first key, then what each key types without and with Shift.
struct KeyLine {
    int first_scan;
    const char* plain;
    const char* shifted;
};
constexpr KeyLine us_keyboard[] = {
    {2, "1234567890-=", "!@#$%^&*()_+"},
    {16, "qwertyuiop[]", "QWERTYUIOP{}"},
    {30, "asdfghjkl;'`", "ASDFGHJKL:\"~"},
    {43, "\\zxcvbnm,./", "|ZXCVBNM<>?"},
};

int ctrl_of(int plain_key) {
    if (std::isalpha(plain_key)) return plain_key - 'a' + 1;
    switch (plain_key) {
    case '[':
        return 27;
    case '\\':
        return 28;
    case ']':
        return 29;
    case '6':
        return 30;
    case '-':
        return 31;
    case '2':
        return 0x300;
    default:
        return 0;
    }
}

// Extended keys as listed: scan code (row), scan field, none, Shift, Ctrl, Alt.
constexpr int extended_keys[][6] = {
    {71, 71, 0x4700, 0x4700, 0x7700, 0x9700},  {72, 72, 0x4800, 0x4800, 0x8D00, 0x9800},
    {73, 73, 0x4900, 0x4900, 0x8400, 0x9900},  {75, 75, 0x4B00, 0x4B00, 0x7300, 0x9B00},
    {77, 77, 0x4D00, 0x4D00, 0x7400, 0x9D00},  {79, 79, 0x4F00, 0x4F00, 0x7500, 0x9F00},
    {80, 80, 0x5000, 0x5000, 0x9100, 0xA000},  {81, 81, 0x5100, 0x5100, 0x7600, 0xA100},
    {82, 82, 0x5200, 0x5200, 0x9200, 0xA200},  {83, 83, 0x5300, 0x5300, 0x9300, 0xA300},
    {133, 87, 0x8500, 0x8500, 0x8900, 0x8B00}, {134, 88, 0x8600, 0x8600, 0x8A00, 0x8C00},
};

// The keypad as listed: scan, none, Shift, Ctrl, Alt, NumLock, NumLock+Shift.
constexpr int keypad_keys[16][7] = {
    {82, 0x5200, '0', 0x9200, 0, '0', 0x5200}, {79, 0x4F00, '1', 0x7500, 0, '1', 0x4F00},
    {80, 0x5000, '2', 0x9100, 0, '2', 0x5000}, {81, 0x5100, '3', 0x7600, 0, '3', 0x5100},
    {75, 0x4B00, '4', 0x7300, 0, '4', 0x4B00}, {76, 0x4C00, '5', 0x8F00, 0, '5', 0x4C00},
    {77, 0x4D00, '6', 0x7400, 0, '6', 0x4D00}, {71, 0x4700, '7', 0x7700, 0, '7', 0x4700},
    {72, 0x4800, '8', 0x8D00, 0, '8', 0x4800}, {73, 0x4900, '9', 0x8400, 0, '9', 0x4900},
    {83, 0x5300, '.', 0x9300, 0, '.', 0x5300}, {53, '/', '/', 0x9500, 0xA400, '/', '/'},
    {55, '*', '*', 0x9600, 0x3700, '*', '*'},  {74, '-', '-', 0x8E00, 0x4A00, '-', '-'},
    {78, '+', '+', 0x9000, 0x4E00, '+', '+'},  {28, 13, 13, 10, 0xA600, 13, 13},
};

Table expected_table() {
    Table t(528, Row{});
    for (int c = 0; c < 256; ++c) t[c][0] = c;
    // Named keys among the characters: char, scan, none, Shift, Ctrl, Alt.
    const int named[][6] = {{8, 14, 8, 8, 127, 0x0E00},
                            {9, 15, 9, 0x0F00, 0x9400, 0},
                            {13, 28, 13, 13, 10, 0},
                            {27, 1, 27, 27, 27, 0},
                            {32, 57, 32, 32, 32, 0}};
    for (const auto& n : named) t[n[0]] = Row{n[0], n[1], n[2], n[3], n[4], n[5], 0, 0, 0, 0};
    for (const KeyLine& line : us_keyboard) {
        for (size_t i = 0; i < std::strlen(line.plain); ++i) {
            int scan = line.first_scan + static_cast<int>(i);
            int plain = static_cast<unsigned char>(line.plain[i]);
            int alt = (scan >= 2 && scan <= 13) ? (scan + 118) * 256 : scan * 256;
            for (int ch : {plain, static_cast<int>(static_cast<unsigned char>(line.shifted[i]))})
                t[ch] = Row{std::isupper(ch) ? std::tolower(ch) : ch, scan, ch, ch, ctrl_of(plain), alt, 0, 0, 0, 0};
        }
    }
    for (int scan = 0; scan < 256; ++scan) t[256 + scan][0] = scan * 256;
    for (int f = 59; f <= 68; ++f)
        t[256 + f] = Row{f * 256, f, f * 256, (f + 25) * 256, (f + 35) * 256, (f + 45) * 256, 0, 0, 0, 0};
    for (const auto& e : extended_keys) t[256 + e[0]] = Row{e[0] * 256, e[1], e[2], e[3], e[4], e[5], 0, 0, 0, 0};
    for (int n = 0; n < 16; ++n) {
        const int* k = keypad_keys[n];
        t[512 + n] = Row{100256 + n, k[0], k[1], k[2], k[3], k[4], k[5], 0, 0, k[6]};
    }
    return t;
}

Table actual_table() {
    Table t(528);
    for (int i = 0; i < 528; ++i)
        for (int f = 0; f < 10; ++f) t[i][f] = key_table_row(i).field[f];
    return t;
}

// Differences as "row:field=actual/expected" lines.
std::vector<std::string> differences(const Table& expected, const Table& actual) {
    std::vector<std::string> out;
    for (size_t r = 0; r < expected.size(); ++r)
        for (int f = 0; f < 10; ++f)
            if (expected[r][f] != actual[r][f])
                out.push_back(std::to_string(r) + ":" + std::to_string(f) + "=" + std::to_string(actual[r][f]) + "/" +
                              std::to_string(expected[r][f]));
    return out;
}
}  // namespace

TEST(KeyTranslationTable, EveryRowAndFieldAgreesWithTheKeyboard) {
    std::vector<std::string> diff = differences(expected_table(), actual_table());
    EXPECT_TRUE(diff.empty()) << diff.size() << " differences, first " << (diff.empty() ? "" : diff.front());
}

TEST(KeyTranslationTable, OneWrongEntryAnywhereIsCaught) {
    const Table actual = actual_table();
    Table wrong = actual;
    int caught = 0;
    for (size_t r = 0; r < wrong.size(); ++r) {
        for (int f = 0; f < 10; ++f) {
            int32_t keep = wrong[r][f];
            wrong[r][f] = keep ^ 0x40;
            caught += differences(wrong, actual).size() == 1 ? 1 : 0;
            wrong[r][f] = keep;
        }
    }
    EXPECT_EQ(caught, 528 * 10);
}

TEST(KeyTranslationTable, LandmarksOfTheLayout) {
    EXPECT_EQ(key_table_row('a').field[key_field_scan], 30);
    EXPECT_EQ(key_table_row('A').field[key_field_base], 'a');
    EXPECT_EQ(key_table_row('1').field[key_field_alt], 0x7800);
    EXPECT_EQ(key_table_row('!').field[key_field_alt], 0x7800);
    EXPECT_EQ(key_table_row('=').field[key_field_alt], 0x8300);
    EXPECT_EQ(key_table_row(':').field[key_field_scan], 39);
    EXPECT_EQ(key_table_row('~').field[key_field_scan], 41);
    EXPECT_EQ(key_table_row('@').field[key_field_ctrl], 0x0300);
    EXPECT_EQ(key_table_row('{').field[key_field_ctrl], 27);
    EXPECT_EQ(key_table_row(127).field[key_field_scan], 0);
    EXPECT_EQ(key_table_row(256 + 68).field[key_field_alt], 0x7100);  // Alt+F10
    EXPECT_EQ(key_table_row(256 + 133).field[key_field_scan], 87);  // F11
    EXPECT_EQ(key_table_row(527).field[key_field_alt], 0xA600);  // keypad Enter
    EXPECT_EQ(key_table_row(-1).field[key_field_base], 0);  // outside: row 0
    EXPECT_EQ(key_table_row(528).field[key_field_base], 0);
}

TEST(KeyTranslationTable, CodesFindTheirRows) {
    bool numeric = false;
    EXPECT_EQ(key_table_row_of('x', &numeric), 'x');
    EXPECT_EQ(key_table_row_of(0x4800, &numeric), 256 + 72);
    EXPECT_EQ(key_table_row_of(100266, &numeric), 522);
    EXPECT_TRUE(numeric);
    EXPECT_EQ(key_table_row_of(100267, &numeric), 523);
    EXPECT_FALSE(numeric);
    EXPECT_EQ(key_table_row_of(200010, &numeric), 522);
    EXPECT_FALSE(numeric);
    EXPECT_EQ(key_table_row_of(100300, &numeric), -1);
    EXPECT_EQ(key_table_row_of(0x40000041, &numeric), -1);
    EXPECT_EQ(key_table_row_of(-3, &numeric), -1);
}
