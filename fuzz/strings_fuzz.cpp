// The string operations on random lengths and starts, against a model of
// std::string: variables in the heap, in the low segment and of fixed length,
// temporaries of every kind (heap, low, literal, one character), assignment,
// joining, the cutting operations, upper-casing, comparison, freeing and the
// release of temporaries from a mark. After every step each live string holds
// what the model says, whatever the heap and the low segment moved.
//
// Input: 4-byte steps (operation, two operands, an argument byte) with text
// bytes taken from the input as they are needed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"

namespace {

void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "strings_fuzz: %s\n", what);
    std::abort();
}

struct Value {
    StrDesc* s;
    std::string model;
};

constexpr int var_count = 6;  // 0-2 heap, 3-4 low, 5 fixed
constexpr uint32_t fixed_length = 12;
constexpr size_t temp_limit = 24;
constexpr size_t length_limit = 1 << 16;  // longest string a step makes
constexpr size_t low_room = 24 << 10;  // low-segment bytes the model allows

Value Vars[var_count];
std::vector<Value> Temps;
uint8_t FixedStorage[fixed_length];
const char Literal[] = "  Hello, World of Strings  abc  ";

size_t low_bytes() {
    size_t n = 0;
    for (int i = 3; i <= 4; ++i) n += Vars[i].model.size();
    for (const Value& t : Temps)
        if (t.s->in_low_segment) n += t.model.size();
    return n;
}

void verify() {
    auto same = [](const Value& v) { return str_view(v.s) == std::string_view(v.model); };
    for (const Value& v : Vars) check(same(v), "a variable holds other characters than assigned");
    for (const Value& t : Temps) check(same(t), "a temporary holds other characters than made");
}

// Removes the temporary at i from the model (the runtime consumed it).
Value take_temp(size_t i) {
    Value v = Temps[i];
    Temps.erase(Temps.begin() + static_cast<long>(i));
    return v;
}

// A result: kept while it is a temporary; a variable given back is dropped.
void keep(StrDesc* s, std::string model) {
    check(str_view(s) == std::string_view(model), "an operation gave other characters than expected");
    if (s->is_temporary) Temps.push_back({s, std::move(model)});
}

// An operand: temporary k (consumed) or variable k (not consumed).
struct Operand {
    StrDesc* s;
    std::string model;
};
Operand operand(uint8_t code) {
    if ((code & 1) && !Temps.empty()) {
        Value v = take_temp((code >> 1) % Temps.size());
        return {v.s, v.model};
    }
    const Value& v = Vars[(code >> 1) % var_count];
    return {v.s, v.model};
}

std::string mid_model(const std::string& s, int32_t start, int32_t length, bool given) {
    int64_t len = static_cast<int64_t>(s.size()), first = start, count;
    if (given) {
        count = length;
        if (first < 1) count -= 1 - first, first = 1;
        if (count <= 0 || first > len) return "";
        if (first + count - 1 > len) count = len - first + 1;
    } else {
        if (first < 1) first = 1;
        if (first > len) return "";
        count = len - first + 1;
    }
    return s.substr(static_cast<size_t>(first - 1), static_cast<size_t>(count));
}

void start_run() {
    static bool started = false;
    if (!started) {
        started = true;
        flags_reset();
        low_memory_clear();
        strings_startup();
    }
    for (int i = 0; i < var_count; ++i) {
        if (i < 3)
            Vars[i] = {str_new(0, 0), ""};
        else if (i < 5)
            Vars[i] = {str_new_low(0, 0), ""};
        else
            Vars[i] = {str_new_fixed(FixedStorage, fixed_length), std::string(fixed_length, ' ')};
    }
    std::memset(FixedStorage, ' ', fixed_length);
}

void end_run() {
    str_release_temps(1, 0);
    Temps.clear();
    for (Value& v : Vars) str_free(v.s);
    error_code.store(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    start_run();
    size_t at = 0;
    // Text for new strings: the input's own bytes, taken from the far end.
    size_t text_end = size;
    auto text = [&](size_t n) {
        n = n > text_end - at ? text_end - at : n;
        text_end -= n;
        return std::string(reinterpret_cast<const char*>(data + text_end), n);
    };
    for (; at + 4 <= text_end; at += 4) {
        const uint8_t op = data[at], a = data[at + 1], b = data[at + 2], arg = data[at + 3];
        const int32_t small = static_cast<int8_t>(arg);
        if (Temps.size() >= temp_limit && op % 14 < 5) continue;
        switch (op % 14) {
        case 0: {  // a heap temporary of the input's bytes
            std::string t = text(arg % 64);
            keep(str_from_bytes(t.data(), static_cast<uint32_t>(t.size())), t);
            break;
        }
        case 1: {  // a low temporary
            std::string t = text(arg % 64);
            if (low_bytes() + t.size() > low_room) break;
            StrDesc* s = str_new_low(static_cast<uint32_t>(t.size()), 1);
            if (!t.empty()) std::memcpy(s->data, t.data(), t.size());
            keep(s, t);
            break;
        }
        case 2: {  // a literal: part of a C text
            size_t from = a % sizeof Literal, n = arg % (sizeof Literal - from);
            keep(str_from_literal(Literal + from, static_cast<uint32_t>(n)), std::string(Literal + from, n));
            break;
        }
        case 3: {
            StrDesc* s = str_chr(small * 3);
            const bool in_range = small * 3 >= 0 && small * 3 <= 255;
            check((error_code.exchange(0) == 5) == !in_range, "chr judged its code wrongly");
            keep(s, in_range ? std::string(1, static_cast<char>(small * 3)) : "");
            break;
        }
        case 4: {  // a temporary of a variable's own characters
            const Value& v = Vars[a % var_count];
            std::string m = v.model;
            keep(str_from_bytes(v.s->data, v.s->length), m);
            break;
        }
        case 5: {  // assignment
            Value& dest = Vars[a % var_count];
            Operand src = operand(b);
            std::string m = src.model;
            if (dest.s->is_fixed) m = (m + std::string(fixed_length, ' ')).substr(0, fixed_length);
            if (dest.s->in_low_segment && low_bytes() + m.size() > low_room) {
                if (src.s->is_temporary) str_free(src.s);
                break;
            }
            str_assign(dest.s, src.s);
            dest.model = m;
            break;
        }
        case 6: {  // joining
            Operand x = operand(a), y = operand(b);
            if (x.s == y.s && x.s->is_temporary) {  // one temporary cannot be both operands
                Temps.push_back({x.s, x.model});
                break;
            }
            if (x.model.size() + y.model.size() > length_limit) {
                if (x.s->is_temporary) Temps.push_back({x.s, x.model});
                if (y.s->is_temporary) Temps.push_back({y.s, y.model});
                break;
            }
            keep(str_concat(x.s, y.s), x.model + y.model);
            break;
        }
        case 7: {
            Operand x = operand(a);
            const int32_t start = small, length = static_cast<int8_t>(b) * (arg & 1 ? 1 : 7);
            const bool given = b & 0x10;
            keep(str_mid(x.s, start, length, given), mid_model(x.model, start, length, given));
            break;
        }
        case 8: {
            Operand x = operand(a);
            size_t n = small < 0 ? 0 : std::min<size_t>(static_cast<size_t>(small), x.model.size());
            keep(str_right(x.s, small), x.model.substr(x.model.size() - n));
            break;
        }
        case 9: {
            Operand x = operand(a);
            size_t k = x.model.find_first_not_of(' ');
            keep(str_ltrim(x.s), k == std::string::npos ? "" : x.model.substr(k));
            break;
        }
        case 10: {
            Operand x = operand(a);
            std::string m = x.model;
            for (char& c : m)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            keep(str_upper(x.s), m);
            break;
        }
        case 11: {  // comparison consumes nothing
            const Value& x = Vars[a % var_count];
            const Value& y = Temps.empty() ? Vars[b % var_count] : Temps[b % Temps.size()];
            check(str_equal(x.s, y.s) == (x.model == y.model ? -1 : 0), "equal disagrees");
            check(str_not_equal(x.s, y.s) == (x.model != y.model ? -1 : 0), "not-equal disagrees");
            break;
        }
        case 12:  // freeing one temporary
            if (!Temps.empty()) str_free(take_temp(a % Temps.size()).s);
            break;
        case 13: {  // releasing from a mark
            if (Temps.empty()) break;
            const uint32_t mark = Temps[a % Temps.size()].s->temp_index;
            std::vector<Value> kept;
            for (const Value& t : Temps)
                if (t.s->temp_index < mark) kept.push_back(t);
            str_release_temps(mark, 0);
            Temps = kept;
            break;
        }
        }
        check(error_code.load() == 0, "a string operation raised an error on sound operands");
        verify();
    }
    end_run();
    return 0;
}
