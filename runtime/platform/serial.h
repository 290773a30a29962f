// Serial ports on the system's terminal devices: opened alone, set to the
// speed, framing and line settings asked for, and read and written with the
// timeouts of their setting string.
#pragma once
#include <cstdint>

enum class SerialParity : uint8_t { none, even, odd, space, mark, even_checked };

struct SerialSettings {
    uint8_t port = 0;  // 1-255; 0 = not a serial port
    uint32_t speed = 300;  // bits per second
    SerialParity parity = SerialParity::even;
    uint8_t data_bits = 7;  // 5-8
    uint8_t stop_half_bits = 2;  // 2 = one, 3 = one and a half, 4 = two
    bool rs = false;  // request-to-send line held off
    bool asc = false;  // text transfer (binary otherwise)
    bool lf = false;  // line feed after each carriage return (text only)
    uint16_t cd_ms = 0, cs_ms = 1000, ds_ms = 1000, op_ms = 10000;
};

// Opens and configures the device; handle_device_error (after closing it) when
// it cannot be opened, is not a terminal or refuses a setting.
int32_t serial_open(const char* device, const SerialSettings& settings, int* fd);
// Gives the device back: others, and a later open of ours, may open it again.
int32_t serial_close(int fd);

// Gives up the terminal's exclusive mode of every port still open, closing
// nothing and taking no lock: the end calls it when the program thread may be
// inside a port, so that other programs can open the ports once it is gone.
void serial_release_all();

// Reads what arrives within timeout_ms in total (0: only what is there now);
// handle_short_read with *done when fewer than length bytes came. A shutdown
// in progress ends the wait early.
int32_t serial_read(int fd, void* buffer, uint64_t length, uint32_t timeout_ms, uint64_t* done);
// Writes within timeout_ms in total (0: no limit); handle_short_write when it
// could not all go.
int32_t serial_write(int fd, const void* buffer, uint64_t length, uint32_t timeout_ms, uint64_t* done);
// Bytes received and not yet read.
int64_t serial_bytes_waiting(int fd);

// The terminal settings of a setting string: raw bytes both ways, its data
// bits, parity and stop bits (tests check it: a pseudo-terminal keeps neither
// the data bits nor the parity bit it is given).
struct termios;
void serial_framing(struct termios& t, const SerialSettings& settings);

// A speed the terminal interface has no constant for, set through the
// kernel's own interface (serial_speed_linux.cpp).
bool serial_set_other_speed(int fd, uint32_t speed);
