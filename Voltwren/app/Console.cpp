#include "Console.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::mutex& consoleMutex() {
    static std::mutex mutex;
    return mutex;
}

std::atomic<bool> quietFlag{false};

void writeLine(std::FILE* stream, const QString& line) {
    if (quietFlag.load(std::memory_order_relaxed))
        return;
    const QByteArray bytes = line.toUtf8() + '\n';
    const std::lock_guard<std::mutex> guard(consoleMutex());
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void Console::printLine(const QString& line) {
    writeLine(stdout, line);
}

void Console::printErrorLine(const QString& line) {
    writeLine(stderr, line);
}

void Console::setQuiet(bool quiet) {
    quietFlag.store(quiet, std::memory_order_relaxed);
}
