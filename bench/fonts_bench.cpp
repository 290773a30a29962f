// Loaded fonts and image files: characters printed with a loaded font on a
// 32-bit page (anti-aliased and one-bit, against the built-in font), the text
// page drawn with a loaded monospace font, and a 1024 x 768 PNG loaded.
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/strings.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/image_files.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text.h"
#include <SDL.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>
#include <algorithm>
#include <zlib.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void start_display() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_Init(SDL_INIT_VIDEO);
    TTF_Init();
    flags_reset();
    low_memory_clear();
    fonts_startup();
    images_startup();
}

void stop_display() {
    display_shutdown();
    set_image_font(16, 0, false);
    image_table_shutdown();
    fonts_shutdown();
    TTF_Quit();
    SDL_Quit();
}

StrDesc* text(const char* t) { return str_from_cstring(t); }

// 40 characters at a time across a 32-bit 800 x 600 image.
void print_chars(benchmark::State& state, const char* options, bool builtin) {
    start_display();
    int32_t img = new_image(800, 600, 32, true);
    int32_t font = builtin ? 16 : load_font(text("DejaVuSans.ttf"), 16, options ? text(options) : nullptr, options);
    set_image_font(font, img, true);
    image_record(-img)->fg_colour = 0xFFFFFFFF;
    const char* line = "The quick brown fox jumps over the lazy ";
    int y = 0;
    for (auto _ : state) {
        print_at_pixel(0, y, text(line), img, 2);
        y = (y + 17) % 580;
    }
    state.SetItemsProcessed(state.iterations() * 40);
    stop_display();
}
void BM_PrintBlended(benchmark::State& s) { print_chars(s, nullptr, false); }
void BM_PrintOneBit(benchmark::State& s) { print_chars(s, "DONTBLEND", false); }
void BM_PrintBuiltin(benchmark::State& s) { print_chars(s, nullptr, true); }
BENCHMARK(BM_PrintBlended)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PrintOneBit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PrintBuiltin)->Unit(benchmark::kMicrosecond);

// An 80 x 25 text page in DejaVu Sans Mono at 16 pixels, filled and drawn once.
void start_mono_page() {
    start_display();
    set_image_font(load_font(text("DejaVu Sans Mono"), 16, text("MONOSPACE"), true), 0, false);
    uint8_t* m = display_image()->pixels;
    for (int i = 0; i < 80 * 25; ++i) {
        m[i * 2] = static_cast<uint8_t>('A' + i % 26);
        m[i * 2 + 1] = static_cast<uint8_t>(1 + i % 15);
    }
    display_refresh();
    display_refresh();
}
void BM_LoadedFontTextUnchanged(benchmark::State& state) {
    start_mono_page();
    for (auto _ : state) display_refresh();
    stop_display();
}
void BM_LoadedFontTextFullRedraw(benchmark::State& state) {
    start_mono_page();
    for (auto _ : state) {
        display_invalidate();
        display_refresh();
    }
    stop_display();
}
BENCHMARK(BM_LoadedFontTextUnchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadedFontTextFullRedraw)->Unit(benchmark::kMicrosecond);

void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    put32(png, uint32_t(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    put32(png, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// A 1024 x 768 RGB gradient as a PNG in the temporary folder.
std::string write_png() {
    const int w = 1024, h = 768;
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, ihdr, raw;
    put32(ihdr, w), put32(ihdr, h);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        for (int x = 0; x < w; ++x) raw.insert(raw.end(), {uint8_t(x), uint8_t(y), uint8_t(x ^ y)});
    }
    std::vector<uint8_t> z(compressBound(uLong(raw.size())));
    uLongf n = uLongf(z.size());
    compress(z.data(), &n, raw.data(), uLong(raw.size()));
    z.resize(n);
    chunk(png, "IHDR", ihdr), chunk(png, "IDAT", z), chunk(png, "IEND", {});
    std::string path = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/morv_bench_1024x768.png";
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(png.data(), 1, png.size(), f);
    fclose(f);
    return path;
}

void load_png(benchmark::State& state, int mode) {
    start_display();
    const std::string path = write_png();
    if (mode != 32) set_dest(new_image(8, 8, mode, true));
    for (auto _ : state) {
        int32_t image = load_image(str_from_bytes(path.data(), uint32_t(path.size())), 32, mode == 32);
        if (image >= 0) state.SkipWithError("load failed");
        free_image(image, true);
    }
    stop_display();
    std::remove(path.c_str());
}
// A 256 x 160 GIF of four colours, every code after a clear code so the
// code table never grows: about 30 KB.
std::string write_gif() {
    const int w = 256, h = 160;
    std::vector<uint8_t> g = {'G',  'I', 'F', '8', '9', 'a', uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
                              0xF1, 0,   0};
    for (uint32_t c : {0xFF0000u, 0x00FF00u, 0x0000FFu, 0x123456u})
        g.insert(g.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    g.insert(g.end(), {0x2C, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0, 2});
    std::vector<uint8_t> data;
    uint32_t acc = 0, bits = 0;
    auto code = [&](uint32_t c) {
        acc |= c << bits, bits += 3;
        while (bits >= 8) data.push_back(uint8_t(acc)), acc >>= 8, bits -= 8;
    };
    for (int i = 0; i < w * h; ++i) code(4), code(uint32_t((i / 7 + i / w) % 4));
    code(5);
    if (bits) data.push_back(uint8_t(acc));
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        g.push_back(uint8_t(n));
        g.insert(g.end(), data.begin() + long(at), data.begin() + long(at + n));
    }
    g.insert(g.end(), {0, 0x3B});
    std::string path = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/morv_bench_30k.gif";
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(g.data(), 1, g.size(), f);
    fclose(f);
    return path;
}

void BM_LoadGif30KB(benchmark::State& state) {
    start_display();
    const std::string path = write_gif();
    for (auto _ : state) {
        int32_t image = load_image(str_from_bytes(path.data(), uint32_t(path.size())), 256, true);
        if (image >= 0) state.SkipWithError("load failed");
        free_image(image, true);
    }
    stop_display();
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadGif30KB)->Unit(benchmark::kMillisecond);

// Opening DejaVu Sans Mono at 16 pixels as a monospace font (its text-page
// cells made too), and freeing it.
void BM_LoadFont16Monospace(benchmark::State& state) {
    start_display();
    for (auto _ : state) {
        int32_t font = load_font(text("DejaVu Sans Mono"), 16, text("MONOSPACE"), true);
        if (font < 32) state.SkipWithError("load failed");
        free_font(font);
    }
    stop_display();
}
BENCHMARK(BM_LoadFont16Monospace)->Unit(benchmark::kMillisecond);

void BM_LoadPng1024x768(benchmark::State& s) { load_png(s, 32); }
void BM_LoadPng1024x768OntoSixteenColours(benchmark::State& s) { load_png(s, 12); }
BENCHMARK(BM_LoadPng1024x768)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPng1024x768OntoSixteenColours)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
