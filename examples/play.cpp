// play: plays a music string, a sound file or the beep through the runtime,
// waits until it has been heard, and exits 0; a file that cannot be opened
// (also for want of a sound device) ends it with exit code 1.
//   play MUSIC-STRING   e.g. play "T160 O3 L8 CDEFG>C"
//   play FILE           a WAV, OGG or MP3 file, as the music stream
//   play --beep
// SDL_VIDEODRIVER=dummy runs it without a window.
#include <morv/runtime.h>
#include <SDL.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string What;  // the music string, or the file's absolute path
bool IsFile = false;

[[noreturn]] void fail(const char* message) {
    std::fprintf(stderr, "play: %s\n", message);
    std::fflush(stderr);
    _exit(1);
}

void play_file() {
    if (sound_open(str_from_cstring(What.c_str()), str_lit("LEN")) != 1)
        fail("nothing to play: the file is no sound this runtime can play, or no sound device is open");
    std::printf("length: %.3f s%s\n", sound_length(1), sound_length(1) < 0 ? " (not measured: MP3)" : "");
    std::fflush(stdout);
    sound_play(1);
    while (sound_playing(1) != 0) {
        if (event_pending.load()) statement_check(1);
        SDL_Delay(50);
    }
}

void play_music() {
    music_play(str_from_cstring(What.c_str()));
    if (runtime_error_pending()) fail("the music string has an error (Illegal function call)");
    // In foreground mode the program waits here until the music has played.
    if (event_pending.load()) statement_check(1);
    tone_queue_wait_idle(24 * 3600 * 1000);
}

int play_program(void*) {
    if (What == "--beep") {
        sound_beep();
        tone_queue_wait_idle(5000);
    } else if (IsFile) {
        play_file();
    } else {
        play_music();
    }
    // The mixer is a buffer or two ahead of the speaker: let the end be heard.
    SDL_Delay(200);
    end_program();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: play MUSIC-STRING | FILE | --beep\n");
        return 2;
    }
    // Start-up moves to the program's folder: a file is named absolutely first.
    char path[PATH_MAX];
    IsFile = access(argv[1], R_OK) == 0 && realpath(argv[1], path);
    What = IsFile ? path : argv[1];
    char* runtime_argv[] = {argv[0], nullptr};
    return runtime_main(1, runtime_argv, play_program);
}
