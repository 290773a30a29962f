// The sound decoder child: takes requests with the files handed along, loads
// channel sounds with Mix_LoadWAV_RW and answers their PCM, opens streams with
// the mixer's music loader to tell their type and length, and at last may
// become a stream's player. Whatever a decoder does wrong here ends this
// process only.
#include "runtime/sound/sound_child.h"
#include "runtime/sound/mpeg_frames.h"
#include "runtime/sound/sound_decoder.h"
#include <SDL.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int mixer_rate_hz = 22050;
constexpr int loading_buffer_frames = 1024;
constexpr int playing_buffer_frames = 4096;
// Processor time for one request (a long file decoded whole under a
// sanitizer takes some); a stream asks again as it goes.
constexpr uint32_t request_cpu_seconds = 20;

uint32_t le32(const uint8_t* p) { return uint32_t{p[0]} | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

// The mixer's WAV stream reader frees the first chunk twice when it is not
// the format chunk (past "fact" and "LIST" chunks), and looks for the data
// chunk past the file's end for ever: such files are refused before it gets
// there. The bytes are a RIFF WAVE file with sizes cut.
bool wav_stream_readable(const std::vector<uint8_t>& bytes) {
    bool format = false;
    for (uint64_t at = 12; at + 8 <= bytes.size();) {
        const uint8_t* chunk = bytes.data() + at;
        if (format && !std::memcmp(chunk, "data", 4)) return true;
        if (!std::memcmp(chunk, "fmt ", 4))
            format = true;
        else if (!format && std::memcmp(chunk, "fact", 4) && std::memcmp(chunk, "LIST", 4))
            return false;
        at += 8 + uint64_t{le32(chunk + 4)};
    }
    return false;
}

bool is_wave(const uint8_t* head, size_t size) {
    return size >= 12 && !std::memcmp(head, "RIFF", 4) && !std::memcmp(head + 8, "WAVE", 4);
}

// ---- a music's source: our own reader, which the mixer may close or not ------------------

MusicSource* source_of(SDL_RWops* rw) { return static_cast<MusicSource*>(rw->hidden.unknown.data1); }

int source_seek(SDL_RWops* rw, int offset, int whence) {
    MusicSource* s = source_of(rw);
    const int64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(s->at) : int64_t(s->size);
    const int64_t to = from + offset;
    if (to < 0 || to > INT_MAX) return -1;
    s->at = static_cast<uint64_t>(to);
    return static_cast<int>(to);
}

int source_read(SDL_RWops* rw, void* to, int size, int count) {
    MusicSource* s = source_of(rw);
    if (size <= 0 || count <= 0) return 0;
    uint64_t want = uint64_t(size) * uint64_t(count);
    if (s->at >= s->size) return 0;
    if (want > s->size - s->at) want = s->size - s->at;
    uint64_t got = 0;
    if (s->fd < 0) {
        std::memcpy(to, s->bytes.data() + s->at, want);
        got = want;
    } else {
        while (got < want) {
            const ssize_t n = pread(s->fd, static_cast<uint8_t*>(to) + got, want - got,
                                    static_cast<off_t>(s->base + s->at + got));
            if (n <= 0) break;
            got += static_cast<uint64_t>(n);
        }
    }
    s->at += got;
    return static_cast<int>(got / uint64_t(size));
}

int source_write(SDL_RWops*, const void*, int, int) { return -1; }
int source_close(SDL_RWops*) { return 0; }  // freed by sound_child_music_close

bool source_start(MusicSource* s) {
    s->rw = SDL_AllocRW();
    if (!s->rw) return false;
    s->rw->seek = source_seek;
    s->rw->read = source_read;
    s->rw->write = source_write;
    s->rw->close = source_close;
    s->rw->hidden.unknown.data1 = s;
    return true;
}

// The type Mix_LoadMUS gives a file name's extension.
Mix_MusicType type_of_extension(uint32_t extension) {
    char ext[5] = {};
    std::memcpy(ext, &extension, 4);
    if (!std::strcmp(ext, "WAV")) return MUS_WAV;
    if (!std::strcmp(ext, "MID") || !std::strcmp(ext, "MIDI") || !std::strcmp(ext, "KAR")) return MUS_MID;
    if (!std::strcmp(ext, "OGG")) return MUS_OGG;
    if (!std::strcmp(ext, "FLAC")) return MUS_FLAC;
    if (!std::strcmp(ext, "MPG") || !std::strcmp(ext, "MPEG") || !std::strcmp(ext, "MP3") || !std::strcmp(ext, "MAD"))
        return MUS_MP3;
    return MUS_NONE;
}

// ---- requests --------------------------------------------------------------------------------

Mix_Chunk* chunk_of(const std::vector<uint8_t>& bytes) {
    SDL_RWops* rw = bytes.empty() ? nullptr : SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    return rw ? Mix_LoadWAV_RW(rw, 1) : nullptr;
}

bool load(const DecoderJob& job, int32_t fd) {
    const std::vector<uint8_t> bytes = sound_child_file_bytes(fd);
    if (bytes.empty()) return sound_child_answer(job, sound_unreadable, 0, 0);
    Mix_Chunk* chunk = chunk_of(bytes);
    if (!chunk) return sound_child_answer(job, sound_undecodable, 0, 0);
    const bool fits = chunk->alen <= sound_chunk_limit_bytes && chunk->alen % 4 == 0;
    bool ok = fits
        ? sound_child_answer(job, sound_ok, 0, chunk->alen) && decoder_write(job.output_fd, chunk->abuf, chunk->alen)
        : sound_child_answer(job, sound_too_large, 0, 0);
    Mix_FreeChunk(chunk);
    return ok;
}

bool probe(const DecoderJob& job, const SoundRequest& request, int32_t fd) {
    uint64_t measured = UINT64_MAX;
    if (request.flags & sound_flag_measure) {
        if (Mix_Chunk* chunk = chunk_of(sound_child_file_bytes(fd))) {
            measured = chunk->alen;
            Mix_FreeChunk(chunk);
        }
    }
    MusicSource source;
    Mix_Music* music = sound_child_music_open(fd, request.extension, 0, MUS_NONE, &source);
    if (!music) return sound_child_answer(job, sound_undecodable, 0, 0);
    const Mix_MusicType type = Mix_GetMusicType(music);
    sound_child_music_close(music, &source);
    if (type == MUS_MP3 || type == MUS_MP3_MAD) {
        // An MP3 plays at its own rate, which a frame must tell.
        uint8_t head[10] = {};
        const uint64_t base = pread(fd, head, sizeof head, 0) == sizeof head ? mpeg_tag_bytes(head, sizeof head) : 0;
        std::vector<uint8_t> window(1 << 20);
        const ssize_t n = pread(fd, window.data(), window.size(), static_cast<off_t>(base));
        MpegFrame frame;
        if (n <= 0 || !mpeg_find_frame(window.data(), static_cast<size_t>(n), base, &frame))
            return sound_child_answer(job, sound_undecodable, 0, 0);
    }
    return sound_child_answer(job, sound_ok, type, measured);
}

int serve(const DecoderJob& job) {
    if (!sound_child_mixer_open(false, mixer_rate_hz, 2)) return 2;
    for (;;) {
        SoundRequest request{};
        int32_t fd = -1;
        if (!decoder_receive(job.control_fd, &request, sizeof request, &fd)) return 0;
        sound_child_allow_cpu(request_cpu_seconds);
        bool ok = false;
        if (request.magic == sound_request_magic && fd >= 0) {
            if (request.kind == sound_request_load)
                ok = load(job, fd);
            else if (request.kind == sound_request_probe)
                ok = probe(job, request, fd);
            else if (request.kind == sound_request_play)
                return sound_child_play(job, request, fd);
        }
        if (fd >= 0) close(fd);
        if (!ok) return 3;
    }
}

}  // namespace

DECODER_CHILD_ENTRY(sound_decoder_entry, "sound", serve);

bool sound_child_mixer_open(bool playing, int rate_hz, int channels) {
    Mix_CloseAudio();
    if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    // The program's own driver choice (a capture file, a sound server) is not
    // the child's: it plays into nothing.
    setenv("SDL_AUDIODRIVER", playing ? "disk" : "dummy", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    // The disk driver announces itself on stderr, which is the program's.
    const int saved = dup(2), null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) dup2(null, 2);
    bool ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 &&
        Mix_OpenAudio(rate_hz, AUDIO_S16SYS, channels, playing ? playing_buffer_frames : loading_buffer_frames) == 0;
    if (saved >= 0) dup2(saved, 2), close(saved);
    if (null >= 0) close(null);
    int got_rate = 0, got_channels = 0;
    Uint16 got_format = 0;
    return ok && Mix_QuerySpec(&got_rate, &got_format, &got_channels) && got_rate == rate_hz &&
        got_format == AUDIO_S16SYS && got_channels == channels;
}

Mix_Music* sound_child_music_open(int32_t fd, uint32_t extension, uint64_t base, Mix_MusicType type,
                                  MusicSource* source) {
    *source = MusicSource{};
    uint8_t head[12] = {};
    if (pread(fd, head, sizeof head, static_cast<off_t>(base)) != static_cast<ssize_t>(sizeof head)) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < 0 || uint64_t(st.st_size) < base) return nullptr;
    if (is_wave(head, sizeof head) && type == MUS_NONE) {
        source->bytes = sound_child_file_bytes(fd);
        if (!wav_stream_readable(source->bytes)) return nullptr;
        source->size = source->bytes.size();
        type = MUS_WAV;
    } else {
        source->fd = fd;
        source->base = base;
        source->size = uint64_t(st.st_size) - base;
        if (type == MUS_NONE) type = type_of_extension(extension);
    }
    if (!source_start(source)) return nullptr;
    Mix_Music* music = Mix_LoadMUSType_RW(source->rw, type, 0);
    if (!music) sound_child_music_close(nullptr, source);
    return music;
}

void sound_child_music_close(Mix_Music* music, MusicSource* source) {
    if (music) Mix_FreeMusic(music);
    if (source->rw) SDL_FreeRW(source->rw);
    *source = MusicSource{};
}

std::vector<uint8_t> sound_child_file_bytes(int32_t fd) {
    std::vector<uint8_t> bytes;
    if (!decoder_read_input(fd, sound_file_limit_bytes, &bytes) || bytes.size() > INT32_MAX) return {};
    if (!is_wave(bytes.data(), bytes.size())) return bytes;
    // A RIFF file whose chunks claim more than it holds would have the mixer
    // reserve what they claim (gigabytes for a header of a few bytes).
    auto cut_to = [&](size_t at, uint64_t held) {
        if (le32(&bytes[at]) <= held) return false;
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(held >> (8 * i));
        return true;
    };
    cut_to(4, bytes.size() - 8);
    for (uint64_t at = 12; at + 8 <= bytes.size();) {
        if (cut_to(at + 4, bytes.size() - at - 8)) break;
        const uint32_t size = le32(&bytes[at + 4]);
        at += 8 + uint64_t{size} + (size & 1);
    }
    return bytes;
}

void sound_child_allow_cpu(uint32_t seconds) {
    rusage used{};
    rlimit cpu{};
    if (getrusage(RUSAGE_SELF, &used) != 0 || getrlimit(RLIMIT_CPU, &cpu) != 0) return;
    const rlim_t now = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec + 1);
    cpu.rlim_cur = now + seconds < cpu.rlim_max ? now + seconds : cpu.rlim_max;
    setrlimit(RLIMIT_CPU, &cpu);
}

bool sound_child_answer(const DecoderJob& job, uint32_t status, int32_t music_type, uint64_t bytes) {
    decoder_coverage_report();
    const SoundAnswer answer{sound_answer_magic, status, music_type, 0, bytes};
    return decoder_write(job.output_fd, &answer, sizeof answer);
}
