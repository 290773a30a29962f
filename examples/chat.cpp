// Chat between two runtimes over TCP/IP on an 80 x 25 text screen.
//   chat host PORT          waits for one client on PORT
//   chat client HOST PORT   connects to a host
// Each side types a line on the bottom row; Enter sends it as one framed
// line. Lines sent show as "> " and the text, lines received as "< " and the
// text. When the peer goes away the screen says "Disconnected" and any key
// ends the program (exit code 0); Esc ends it at any time.
#include <morv/runtime.h>
#include <SDL.h>
#include <deque>
#include <string>
#include <vector>

namespace {

constexpr int32_t columns = 80;
constexpr int32_t conversation_rows = 23;  // rows 1-23; row 24 is a rule
constexpr int32_t rule_row = 24, typing_row = 25;
constexpr size_t typing_limit = columns - 4;
constexpr size_t shown_limit = columns * conversation_rows;  // of one received line
constexpr uint32_t rest_ms = 20;
constexpr uint8_t key_enter = 13, key_backspace = 8, key_escape = 27;
constexpr uint8_t rule_character = 196;  // a horizontal line in code page 437

std::deque<std::string> Conversation;  // the screen rows of rows 1-23
std::string Typed;

// Between two statements: temporaries go, and pauses, errors and the shutdown are seen.
void statement_end(uint32_t line) {
    str_release_temps(0, 0);
    if (event_pending.load()) statement_check(line);
}

void print_row(int32_t row, const std::string& text) {
    set_cursor_position(row, 1, 0, 0, 0, cursor_passed_row | cursor_passed_column);
    std::string padded = text.substr(0, columns);
    padded.resize(columns, ' ');
    print_text(padded, false);
}

void draw_typing() {
    print_row(typing_row, "> " + Typed);
    set_cursor_position(typing_row, static_cast<int32_t>(3 + Typed.size()), 1, 0, 0,
                        cursor_passed_row | cursor_passed_column | cursor_passed_visible);
}

// Adds a line to the conversation, wrapped at the screen's width, and redraws it.
void say(const std::string& line) {
    for (size_t at = 0; at == 0 || at < line.size(); at += columns) Conversation.push_back(line.substr(at, columns));
    while (Conversation.size() > conversation_rows) Conversation.pop_front();
    for (int32_t row = 1; row <= conversation_rows; ++row)
        print_row(row, static_cast<size_t>(row) <= Conversation.size() ? Conversation[row - 1] : "");
    draw_typing();
}

// What a peer sent, made safe to show: no control characters, a screenful at most.
std::string shown(std::string_view text) {
    std::string safe(text.substr(0, shown_limit));
    for (char& c : safe)
        if (static_cast<uint8_t>(c) < 32 || c == 127) c = '.';
    return safe;
}

// The next key, or -1: a character code, or 0 for a key without one.
int32_t next_key() {
    uint8_t key[2];
    uint32_t length = key_buffer_take(key);
    if (length == 0) return -1;
    return length == 1 ? key[0] : 0;
}

[[noreturn]] void finish(int32_t connection) {
    if (connection) file_close(connection);
    end_program();
}

// Rests a little between steps, seeing statement checks.
template <typename Step>
[[noreturn]] void run(Step&& step) {
    for (;;) {
        step();
        statement_end(1);
        SDL_Delay(rest_ms);
    }
}

[[noreturn]] void wait_for_key_and_end(int32_t connection) {
    run([&] {
        if (next_key() >= 0) finish(connection);
    });
}

[[noreturn]] void talk(int32_t connection) {
    run([&] {
        for (int32_t key = next_key(); key >= 0; key = next_key()) {
            if (key == key_escape) finish(connection);
            if (key == key_enter && !Typed.empty()) {
                net_print(connection, str_from_bytes(Typed.data(), static_cast<uint32_t>(Typed.size())), 0, 0, 1);
                say("> " + Typed);
                Typed.clear();
            } else if (key == key_backspace && !Typed.empty()) {
                Typed.pop_back();
            } else if (key >= 32 && key != 127 && Typed.size() < typing_limit) {
                Typed += static_cast<char>(key);
            }
            draw_typing();
        }
        // Lines that came just before the peer left are shown first.
        const bool connected = net_connected(connection) != 0;
        while (StrDesc* line = net_read_line(connection)) {
            say("< " + shown(str_view(line)));
            net_input_end(connection, 1);
            str_release_temps(0, 0);
        }
        net_input_end(connection, 0);
        if (!connected) {
            say("Disconnected");
            wait_for_key_and_end(connection);
        }
    });
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(' ', at);
        if (end == std::string_view::npos) end = text.size();
        if (end > at) out.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

int chat_program(void*) {
    set_window_title(str_lit("Chat"));
    clear_screen(0, 0, 0);
    print_row(rule_row, std::string(columns, static_cast<char>(rule_character)));
    draw_typing();
    std::vector<std::string> args = words(str_view(command_line()));
    if (args.size() == 2 && args[0] == "host") {
        std::string address = "TCP/IP:" + args[1];
        int32_t host = net_open_host(str_from_bytes(address.data(), static_cast<uint32_t>(address.size())));
        if (!host) {
            say("Cannot listen on port " + args[1]);
            wait_for_key_and_end(0);
        }
        say("Waiting for a client on port " + args[1]);
        run([&] {
            if (next_key() == key_escape) finish(host);
            if (int32_t connection = net_accept(host)) {
                file_close(host);  // one client only
                std::string address(str_view(net_address(connection)));
                say("Connected to " + address.substr(address.rfind(':') + 1));
                talk(connection);
            }
        });
    }
    if (args.size() == 3 && args[0] == "client") {
        std::string address = "TCP/IP:" + args[2] + ":" + args[1];
        int32_t connection = net_open_client(str_from_bytes(address.data(), static_cast<uint32_t>(address.size())));
        if (!connection) {
            say("Cannot connect to " + args[1] + " on port " + args[2]);
            wait_for_key_and_end(0);
        }
        say("Connected to " + args[1] + " on port " + args[2]);
        talk(connection);
    }
    say("Usage: chat host PORT | chat client HOST PORT");
    wait_for_key_and_end(0);
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, chat_program); }
