// A preload library for the Windows program's end-to-end runs under Wine,
// never part of the program: a pseudo-terminal has no modem lines, so the
// kernel refuses the modem-line requests that Wine's serial driver makes
// while it waits for port events, and every wait fails. For
// pseudo-terminals alone, this answers them as a cabled line would: the
// instrument's lines are up and never change, and setting ours succeeds.
// The interrupt counters stay refused: without them Wine reports received
// bytes from the input queue, which is what the waits need.
//   LD_PRELOAD=libziron7_pty_modem_lines.so wine ziron7-flasher.exe
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdarg>

namespace {

// Device numbers of the pseudo-terminals' terminal side (Unix98).
constexpr unsigned int kFirstPtyMajor = 136;
constexpr unsigned int kLastPtyMajor = 143;
// What the far end shows: clear to send, data set ready, carrier detect.
constexpr int kLinesUp = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;

using IoctlFunction = int (*)(int, unsigned long, void*);

bool IsPseudoTerminal(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) &&
           major(status.st_rdev) >= kFirstPtyMajor && major(status.st_rdev) <= kLastPtyMajor;
}

// The answer for a modem-line request the kernel refused; false for any
// other request.
bool AnswerModemRequest(unsigned long request, void* argument) {
    switch (request) {
        case TIOCMGET:
            *static_cast<int*>(argument) = kLinesUp;
            return true;
        case TIOCMSET:
        case TIOCMBIS:
        case TIOCMBIC:
            return true;  // our lines: nobody listens
        default:
            return false;
    }
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);

    static const auto real = reinterpret_cast<IoctlFunction>(::dlsym(RTLD_NEXT, "ioctl"));
    const int result = real(fd, request, argument);
    if (result == 0 || (errno != EINVAL && errno != ENOTTY) || !IsPseudoTerminal(fd) ||
        !AnswerModemRequest(request, argument)) {
        return result;
    }
    errno = 0;
    return 0;
}
