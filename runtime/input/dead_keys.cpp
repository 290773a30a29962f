// DeadKeyTable and the composer: an accent key waits for the next character and
// types the accented letter, or the accent and the character when none exists.
#include "runtime/input/keyboard_internal.h"

namespace {
struct DeadKeyTriple {
    uint16_t dead, base, composed;
};
constexpr uint16_t grave = 0x60, acute = 0xB4, circumflex = 0x5E, tilde = 0x7E, diaeresis = 0xA8, ring = 0x2DA;

constexpr DeadKeyTriple DeadKeyTable[] = {
    {grave, 'a', 0xE0},       {grave, 'A', 0xC0},        {acute, 'a', 0xE1},
    {acute, 'A', 0xC1},       {circumflex, 'a', 0xE2},   {circumflex, 'A', 0xC2},
    {tilde, 'a', 0xE3},       {tilde, 'A', 0xC3},        {diaeresis, 'a', 0xE4},
    {diaeresis, 'A', 0xC4},   {ring, 'a', 0xE5},         {ring, 'A', 0xC5},
    {acute, 'c', 0x107},      {circumflex, 'c', 0x109},  {grave, 'e', 0xE8},
    {grave, 'E', 0xC8},       {acute, 'e', 0xE9},        {acute, 'E', 0xC9},
    {circumflex, 'e', 0xEA},  {circumflex, 'E', 0xCA},   {tilde, 'e', 0x1EBD},
    {diaeresis, 'e', 0xEB},   {diaeresis, 'E', 0xCB},    {acute, 'g', 0x1F5},
    {circumflex, 'g', 0x11D}, {circumflex, 'h', 0x125},  {diaeresis, 'h', 0x1E27},
    {grave, 'i', 0xEC},       {grave, 'I', 0xCC},        {acute, 'i', 0xED},
    {acute, 'I', 0xCD},       {circumflex, 'i', 0xEE},   {circumflex, 'I', 0xCE},
    {tilde, 'i', 0x129},      {diaeresis, 'i', 0xEF},    {diaeresis, 'I', 0xCF},
    {circumflex, 'j', 0x135}, {acute, 'k', 0x1E31},      {acute, 'l', 0x13A},
    {acute, 'm', 0x1E3F},     {grave, 'n', 0x1F9},       {acute, 'n', 0x144},
    {tilde, 'n', 0xF1},       {tilde, 'N', 0xD1},        {grave, 'o', 0xF2},
    {grave, 'O', 0xD2},       {acute, 'o', 0xF3},        {acute, 'O', 0xD3},
    {circumflex, 'o', 0xF4},  {circumflex, 'O', 0xD4},   {tilde, 'o', 0xF5},
    {tilde, 'O', 0xD5},       {diaeresis, 'o', 0xF6},    {diaeresis, 'O', 0xD6},
    {acute, 'p', 0x1E55},     {acute, 'r', 0x155},       {acute, 's', 0x15B},
    {circumflex, 's', 0x15D}, {diaeresis, 't', 0x1E97},  {grave, 'u', 0xF9},
    {grave, 'U', 0xD9},       {acute, 'u', 0xFA},        {acute, 'U', 0xDA},
    {circumflex, 'u', 0xFB},  {circumflex, 'U', 0xDB},   {tilde, 'u', 0x169},
    {diaeresis, 'u', 0xFC},   {diaeresis, 'U', 0xDC},    {ring, 'u', 0x16F},
    {tilde, 'v', 0x1E7D},     {grave, 'w', 0x1E81},      {acute, 'w', 0x1E83},
    {circumflex, 'w', 0x175}, {diaeresis, 'w', 0x1E85},  {ring, 'w', 0x1E98},
    {diaeresis, 'x', 0x1E8D}, {grave, 'y', 0x1EF3},      {acute, 'y', 0xFD},
    {acute, 'Y', 0xDD},       {circumflex, 'y', 0x177},  {tilde, 'y', 0x1EF9},
    {diaeresis, 'y', 0xFF},   {diaeresis, 'Y', 0x178},   {ring, 'y', 0x1E99},
    {acute, 'z', 0x17A},      {circumflex, 'z', 0x1E91}, {0, 0, 0},
};
static_assert(sizeof DeadKeyTable / sizeof DeadKeyTable[0] == 87, "86 triples and the end mark");

struct DeadKeyComposer {
    bool pending = false;
    uint16_t dead = 0;
};
DeadKeyComposer Composer;  // event thread only
}  // namespace

uint16_t dead_key_compose(uint16_t dead, uint16_t base) {
    for (const DeadKeyTriple* t = DeadKeyTable; t->dead != 0; ++t)
        if (t->dead == dead && t->base == base) return t->composed;
    return 0;
}

bool dead_key_is_composition(uint16_t dead, uint32_t ch) {
    for (const DeadKeyTriple* t = DeadKeyTable; t->dead != 0; ++t)
        if (t->dead == dead && t->composed == ch) return true;
    return false;
}

bool dead_key_is_dead_char(uint32_t ch) {
    return ch == grave || ch == acute || ch == circumflex || ch == tilde || ch == diaeresis || ch == ring;
}

void key_type_unicode(uint32_t ch) {
    key_set_pending_tag(0);
    key_down_unicode(ch);
    key_up_unicode(ch);
}

void dead_key_press(uint16_t dead) {
    if (!Composer.pending) {
        Composer.pending = true;
        Composer.dead = dead;
        return;
    }
    // Two accents in a row type both.
    Composer.pending = false;
    key_type_unicode(Composer.dead);
    key_type_unicode(dead);
}

bool dead_key_character(uint32_t ch) {
    if (!Composer.pending) return false;
    Composer.pending = false;
    if (ch == ' ') {
        key_type_unicode(Composer.dead);
        return true;
    }
    uint16_t composed = ch <= 0xFFFF ? dead_key_compose(Composer.dead, static_cast<uint16_t>(ch)) : 0;
    if (composed != 0) {
        key_type_unicode(composed);
        return true;
    }
    key_type_unicode(Composer.dead);
    key_type_unicode(ch);
    return true;
}

bool dead_key_pending() { return Composer.pending; }
uint16_t dead_key_pending_char() { return Composer.pending ? Composer.dead : 0; }
void dead_key_cancel() { Composer = DeadKeyComposer{}; }
