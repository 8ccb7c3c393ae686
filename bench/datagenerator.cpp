#include "datagenerator.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

namespace {

constexpr qint64 mib = qint64(1) << 20;

// Strings of the kinds a compiled program holds: symbols, section names, messages, formats.
constexpr std::array<const char *, 32> programStrings = {
    "GLIBC_2.2.5",
    "GLIBCXX_3.4.29",
    "__cxa_finalize",
    "__libc_start_main",
    "libstdc++.so.6",
    "libQt6Widgets.so.6",
    "malloc",
    "memcpy",
    "strlen",
    "_ZNSt6vectorIcSaIcEE9push_backEOc",
    ".text",
    ".rodata",
    ".eh_frame_hdr",
    ".dynsym",
    "GCC: (Debian 12.2.0-14) 12.2.0",
    "std::bad_alloc",
    "basic_string::_M_create",
    "invalid argument",
    "Out of memory",
    "%s: cannot open %s: %s\n",
    "Usage: %s [options] file...",
    "vertex shader compiled",
    "Copyright (C) The Korvane authors",
    "QWidget::setGeometry",
    "/usr/lib/x86_64-linux-gnu",
    "en_US.UTF-8",
    "0123456789abcdef",
    "HOME",
    "ld-linux-x86-64.so.2",
    "deflate 1.2.13",
    "Press any key to continue",
    "TERM=xterm-256color",
};

// Random bytes without backslashes, so that no drive path appears by chance.
void fillRandom(char *out, qint64 count, std::mt19937_64 &random)
{
    for (qint64 i = 0; i < count; i += 8) {
        const quint64 word = random();
        std::memcpy(out + i, &word, std::min<qint64>(8, count - i));
    }
    std::replace(out, out + count, '\\', ']');
}

// Copies NUL-terminated strings until `count` of them or `room` bytes are written; returns how
// many bytes it wrote.
qint64 fillStrings(char *out, qint64 room, int count, std::mt19937_64 &random)
{
    qint64 written = 0;
    for (int i = 0; i < count && written < room; ++i) {
        const char *string = programStrings[random() % programStrings.size()];
        const qint64 length = std::min<qint64>(qint64(std::strlen(string)) + 1, room - written);
        std::memcpy(out + written, string, length);
        written += length;
    }
    return written;
}

} // namespace

const QList<QByteArray> &plantedDrivePaths()
{
    static const QList<QByteArray> paths = {
        QByteArrayLiteral("C:\\Windows\\System32\\kernel32.dll"),
        QByteArrayLiteral("d:\\build\\korvane\\release\\korvane.pdb"),
        QByteArrayLiteral("F:\\data\\settings.ini"),
    };
    return paths;
}

QByteArray binaryLikeBytes(qint64 size)
{
    Q_ASSERT(size >= 1024);
    QByteArray bytes(size, Qt::Uninitialized);
    std::mt19937_64 random(size);
    char *out = bytes.data();
    const char *const end = out + size;
    bool afterZeroRun = false;
    while (out < end) {
        const qint64 room = end - out;
        const quint64 kind = random() % 10;
        if (kind == 0 && !afterZeroRun) {
            // Zero runs of every order of magnitude, from a few bytes of padding to nearly 1 MiB,
            // leaving room for the NUL of a string before them.
            const qint64 longest = qint64(16) << (random() % 17);
            const qint64 count = std::min(room, qint64(1 + random() % (longest - 8)));
            std::memset(out, 0, count);
            out += count;
            afterZeroRun = true;
            continue;
        }
        if (kind <= 4) {
            out += fillStrings(out, room, int(1 + random() % 2048), random);
        } else {
            const qint64 count = std::min(room, qint64(64 + random() % (64 * 1024)));
            fillRandom(out, count, random);
            out += count;
        }
        afterZeroRun = false;
    }

    const QList<QByteArray> &paths = plantedDrivePaths();
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const qint64 offset = std::min(size * (i + 1) / (paths.size() + 1), size - paths[i].size());
        std::memcpy(bytes.data() + offset, paths[i].constData(), paths[i].size());
    }
    return bytes;
}

QByteArray printableBytes(qint64 size)
{
    static const QByteArray alphabet =
        QByteArrayLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
    QByteArray bytes(size, Qt::Uninitialized);
    std::mt19937_64 random(size);
    for (char &byte : bytes)
        byte = alphabet[random() % alphabet.size()];
    return bytes;
}

QByteArray repetitiveBytes(qint64 size)
{
    QByteArray bytes(size, 'a');
    std::mt19937_64 random(size);
    for (qint64 lineEnd = 0;;) {
        lineEnd += mib / 2 + qint64(random() % (mib / 2));
        if (lineEnd >= size)
            break;
        bytes[lineEnd] = '\n';
    }
    return bytes;
}
