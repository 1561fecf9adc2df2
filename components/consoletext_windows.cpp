#include "consoletext.h"

#include <QString>

#include <io.h>
#include <windows.h>

namespace {

// The console behind a stream, else nullptr.
HANDLE consoleOf(std::FILE *stream)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

} // namespace

bool writeUtf8(std::FILE *stream, const QByteArray &text)
{
    HANDLE console = consoleOf(stream);
    if (!console)
        return std::fwrite(text.constData(), 1, size_t(text.size()), stream) == size_t(text.size())
               && std::fflush(stream) == 0;
    const std::wstring characters = QString::fromUtf8(text).toStdWString();
    DWORD written = 0;
    return std::fflush(stream) == 0
           && WriteConsoleW(console, characters.data(), DWORD(characters.size()), &written, nullptr)
           && written == characters.size();
}

bool isTerminal(std::FILE *stream)
{
    return consoleOf(stream) != nullptr;
}
