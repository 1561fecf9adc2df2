#include "consoletext.h"

#include <unistd.h>

bool writeUtf8(std::FILE *stream, const QByteArray &text)
{
    return std::fwrite(text.constData(), 1, size_t(text.size()), stream) == size_t(text.size())
           && std::fflush(stream) == 0;
}

bool isTerminal(std::FILE *stream)
{
    return isatty(fileno(stream)) == 1;
}
