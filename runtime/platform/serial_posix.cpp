// Serial ports through termios: raw mode with the framing asked for, reads
// and writes on a non-blocking descriptor that wait with poll up to their
// timeouts.
#include "runtime/platform/serial.h"
#include "runtime/platform/file_handle.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>

namespace {

// A wait is cut into slices this long so that a shutdown ends it.
constexpr int wait_slice_ms = 100;

// The open ports' descriptors plus one (0: a free slot), for the end that
// releases them while the program thread may be opening or closing one: a
// slot is taken and given back with single atomic steps, never under a lock.
constexpr int port_slots = 256;
std::atomic<int> OpenPorts[port_slots];

void open_port_note(int fd) {
    for (std::atomic<int>& slot : OpenPorts) {
        int free_slot = 0;
        if (slot.compare_exchange_strong(free_slot, fd + 1)) return;
    }
}

void open_port_forget(int fd) {
    for (std::atomic<int>& slot : OpenPorts) {
        int held = fd + 1;
        if (slot.compare_exchange_strong(held, 0)) return;
    }
}

struct SpeedConstant {
    uint32_t speed;
    speed_t constant;
};
constexpr SpeedConstant SpeedConstants[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool speed_constant(uint32_t speed, speed_t* constant) {
    for (const SpeedConstant& s : SpeedConstants)
        if (s.speed == speed) {
            *constant = s.constant;
            return true;
        }
    return false;
}

tcflag_t data_bits_flag(uint8_t bits) {
    switch (bits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

}  // namespace

// Parity is checked on input whenever one is set. Termios has no one and a
// half stop bits: the second stop bit is what a UART sends as one and a half
// with five data bits.
void serial_framing(struct termios& t, const SerialSettings& s) {
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | data_bits_flag(s.data_bits);
    if (s.stop_half_bits > 2) t.c_cflag |= CSTOPB;
    switch (s.parity) {
    case SerialParity::none:
        break;
    case SerialParity::even:
    case SerialParity::even_checked:
        t.c_cflag |= PARENB;
        break;
    case SerialParity::odd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case SerialParity::space:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    case SerialParity::mark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    }
    if (s.parity != SerialParity::none) t.c_iflag |= INPCK;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

namespace {

// The request-to-send line: on unless RS holds it off. Devices without modem
// lines (a pseudo-terminal) have nothing to set.
bool set_rts(int fd, bool on) {
    int bit = TIOCM_RTS;
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0) return true;
    return errno == ENOTTY || errno == EINVAL;
}

bool configure(int fd, const SerialSettings& s) {
    struct termios t;
    if (!isatty(fd) || tcgetattr(fd, &t) != 0) return false;
    serial_framing(t, s);
    speed_t constant;
    bool standard = speed_constant(s.speed, &constant);
    if (standard && (cfsetispeed(&t, constant) != 0 || cfsetospeed(&t, constant) != 0)) return false;
    if (tcsetattr(fd, TCSANOW, &t) != 0) return false;
    if (!standard && !serial_set_other_speed(fd, s.speed)) return false;
    return set_rts(fd, !s.rs);
}

using Clock = std::chrono::steady_clock;

// Waits for the descriptor to be ready until the deadline (none: no limit);
// false at the deadline or when the shutdown began.
bool wait_ready(int fd, short events, bool limited, Clock::time_point deadline) {
    for (;;) {
        if (stop_threads.load()) return false;
        int slice = wait_slice_ms;
        if (limited) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            if (left < slice) slice = static_cast<int>(left);
        }
        struct pollfd p {
            fd, events, 0
        };
        int r = poll(&p, 1, slice);
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}

}  // namespace

int32_t serial_open(const char* device, const SerialSettings& settings, int* fd) {
    *fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (*fd < 0) return handle_device_error;
    // No sharing: other opens of the device are refused while we hold it.
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(*fd, F_OFD_SETLK, &whole) != 0 || ioctl(*fd, TIOCEXCL) != 0 || !configure(*fd, settings)) {
        serial_close(*fd);
        *fd = -1;
        return handle_device_error;
    }
    tcflush(*fd, TCIOFLUSH);
    open_port_note(*fd);
    return handle_ok;
}

// The exclusive mode belongs to the terminal, not to our descriptor: it would
// outlive the close (a pseudo-terminal keeps it while its other end is open)
// and refuse every later open, ours included.
int32_t serial_close(int fd) {
    if (fd < 0) return handle_bad;
    open_port_forget(fd);
    ioctl(fd, TIOCNXCL);
    return close(fd) == 0 || errno == EINTR ? handle_ok : handle_io_fault;
}

void serial_release_all() {
    for (std::atomic<int>& slot : OpenPorts) {
        int fd = slot.load() - 1;
        if (fd >= 0) ioctl(fd, TIOCNXCL);
    }
}

int32_t serial_read(int fd, void* buffer, uint64_t length, uint32_t timeout_ms, uint64_t* done) {
    *done = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (*done < length) {
        ssize_t n = read(fd, bytes + *done, length - *done);
        if (n > 0) {
            *done += static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return handle_io_fault;
        if (timeout_ms == 0 || !wait_ready(fd, POLLIN, true, deadline)) break;
    }
    return *done < length ? handle_short_read : handle_ok;
}

int32_t serial_write(int fd, const void* buffer, uint64_t length, uint32_t timeout_ms, uint64_t* done) {
    *done = 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (*done < length) {
        ssize_t n = write(fd, bytes + *done, length - *done);
        if (n > 0) {
            *done += static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return handle_io_fault;
        if (!wait_ready(fd, POLLOUT, timeout_ms != 0, deadline)) break;
    }
    return *done < length ? handle_short_write : handle_ok;
}

int64_t serial_bytes_waiting(int fd) {
    int count = 0;
    return ioctl(fd, FIONREAD, &count) == 0 ? count : 0;
}
