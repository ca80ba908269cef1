// The command line's system services on Windows.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_platform.h"
#include "link/win32/wide_text.h"

void UseUtf8Arguments(int& argc, char**& argv) {
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return;  // the C runtime's argv is the best there is
    texts.clear();
    for (int i = 0; i < count; ++i) texts.push_back(Utf8FromWide(wide[i]));
    ::LocalFree(wide);
    pointers.clear();
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
}

namespace {
UINT g_consoleCodePage = 0;  // the console's own, given back at exit; 0: unchanged
void RestoreConsoleCodePage() {
    // What is still buffered is UTF-8: out before the page changes back.
    std::fflush(stdout);
    std::fflush(stderr);
    ::SetConsoleOutputCP(g_consoleCodePage);
}
}  // namespace

void PrepareConsoleText() {
    // A console shows the bytes in its output code page; the program writes
    // UTF-8. The page belongs to the console, which outlives the program.
    const UINT page = ::GetConsoleOutputCP();
    if (page == 0 || page == CP_UTF8 || !::SetConsoleOutputCP(CP_UTF8)) return;
    g_consoleCodePage = page;
    std::atexit(RestoreConsoleCodePage);
}

bool PrepareProgressTerminal() {
    // A console, not merely a character device: _isatty() also says yes for NUL.
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE || !::GetConsoleMode(out, &mode)) return false;
    // The bar redraws itself with "\r" and erases with ESC [ K; consoles
    // older than Windows 10 cannot do the latter and get plain lines.
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
    return ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool WriteAllToDescriptor(int fd, const char* bytes, size_t length) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
    size_t done = 0;
    while (done < length) {
        const DWORD chunk = static_cast<DWORD>(length - done < 0x40000000 ? length - done : 0x40000000);
        DWORD written = 0;
        if (!::WriteFile(handle, bytes + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

unsigned long CurrentProcessId() { return ::GetCurrentProcessId(); }

std::FILE* CreateNewFile(const std::string& path) {
    // The C runtime's fopen knows no "x"; _O_EXCL gives the same guarantee.
    const int fd = ::_wopen(WideFromUtf8(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = ::_fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::_close(fd);
        errno = error;
    }
    return file;
}

std::string PortIdentity(const std::string& port) {
    static const std::string kDevicePrefix = "\\\\.\\";
    std::string name = port.compare(0, kDevicePrefix.size(), kDevicePrefix) == 0 ? port.substr(kDevicePrefix.size()) : port;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

void HideRecordsPasswords(int, char**) {}

const char* PortNameExamples() { return "COM1, COM12"; }

const char* StopRequestNames() { return "Ctrl+C/Ctrl+Break"; }

// The C runtime's texts are English in every language (nothing here sets its locale).
