// The bulk transfer of bench_bulk through libserialport (Debian libserialport-dev), as its
// documentation has an application do it: open, 38400 8N1 without flow control, then one blocking
// write and one blocking read per direction.
//
//   bench_bulk_sp PATH ROUNDS [BYTES]
//
// libserialport does not open a pseudo-terminal as it stands: it wants the port's name under
// /sys/class/tty (run.py bind-mounts the pty over /dev/tty63 in a private mount namespace), and its
// open fails on the modem-line ioctls a pty lacks. This executable answers those for it, as a port
// whose lines all read low; every other call goes to the kernel unchanged.
#include "bulk_common.h"

#include <libserialport.h>

#include <cerrno>
#include <cstdarg>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    long result = syscall(SYS_ioctl, fd, request, arg);
    const bool modemLines =
        request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
    if (result != 0 && errno == ENOTTY && modemLines) {
        if (request == TIOCMGET) *static_cast<int*>(arg) = 0;
        return 0;
    }
    return static_cast<int>(result);
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_bulk_sp PATH ROUNDS [BYTES]\n");
        return 2;
    }
    sp_port* port = nullptr;
    if (sp_get_port_by_name(argv[1], &port) != SP_OK || sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
        std::fprintf(stderr, "libserialport: cannot open %s: %s\n", argv[1], sp_last_error_message());
        return 1;
    }
    if (sp_set_baudrate(port, 38400) != SP_OK || sp_set_bits(port, 8) != SP_OK ||
        sp_set_parity(port, SP_PARITY_NONE) != SP_OK || sp_set_stopbits(port, 1) != SP_OK ||
        sp_set_flowcontrol(port, SP_FLOWCONTROL_NONE) != SP_OK) {
        std::fprintf(stderr, "libserialport: cannot configure %s\n", argv[1]);
        return 1;
    }
    auto send = [&](const uint8_t* data, size_t count) {
        return sp_blocking_write(port, data, count, bulk::kLimitMs) == static_cast<int>(count);
    };
    auto receive = [&](uint8_t* buffer, size_t count) {
        return sp_blocking_read(port, buffer, count, bulk::kLimitMs) == static_cast<int>(count);
    };
    int status = bulk::RunClient(std::atoi(argv[2]), bulk::BytesArg(argc, argv, 3), send, receive);
    sp_close(port);
    sp_free_port(port);
    return status;
}
