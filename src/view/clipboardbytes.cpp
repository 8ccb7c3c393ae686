#include "clipboardbytes.h"

#include <QLocale>
#include <QScopeGuard>

#include <new>

namespace {

const QString plainText = QStringLiteral("text/plain");

// Each byte as the ISO-8859-1 character of the same value.
QString latin1Characters(const Text &bytes)
{
    QString characters(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(characters.data());
    TextSpans::forEach(bytes, 0, bytes.size(), [&out](QByteArrayView span) {
        for (char byte : span)
            *out++ = uchar(byte);
        return true;
    });
    return characters;
}

// The same characters in UTF-8, made straight from the bytes: those from 0x80 on take two.
QByteArray latin1CharactersInUtf8(const Text &bytes)
{
    qint64 high = 0;
    TextSpans::forEach(bytes, 0, bytes.size(), [&high](QByteArrayView span) {
        high += std::count_if(span.begin(), span.end(), [](char byte) { return byte < 0; });
        return true;
    });
    QByteArray encoded(bytes.size() + high, Qt::Uninitialized);
    char *out = encoded.data();
    TextSpans::forEach(bytes, 0, bytes.size(), [&out](QByteArrayView span) {
        for (char byte : span) {
            const uchar value = uchar(byte);
            if (value < 0x80) {
                *out++ = char(value);
            } else {
                *out++ = char(0xc0 | value >> 6);
                *out++ = char(0x80 | (value & 0x3f));
            }
        }
        return true;
    });
    return encoded;
}

} // namespace

ClipboardBytes::ClipboardBytes(Text bytes)
    : copied(std::move(bytes))
{
}

QStringList ClipboardBytes::formats() const
{
    return {bytesFormat(), plainText};
}

bool ClipboardBytes::hasFormat(const QString &format) const
{
    return format == bytesFormat() || format == plainText;
}

QVariant ClipboardBytes::retrieveData(const QString &format, QMetaType type) const
{
    if (!hasFormat(format))
        return {};
    emit producing(true);
    const auto produced = qScopeGuard([this] { emit producing(false); });
    try {
        if (format == bytesFormat())
            return copied.toByteArray();
        if (type.id() == QMetaType::QString)
            return latin1Characters(copied);
        return latin1CharactersInUtf8(copied);
    } catch (const std::bad_alloc &) {
        emit failed(QStringLiteral("The %1 copied bytes could not be handed over as %2: there is "
                                   "not enough memory.")
                        .arg(QLocale::system().toString(copied.size()), format));
        return {};
    }
}
