#include "text_encoding.h"

#include "code_set.h"

namespace lexivane {

SystemTextEncoder::SystemTextEncoder() : SystemTextEncoder(code_set::systemName()) {}

SystemTextEncoder::SystemTextEncoder(QByteArray codeSet) : codeSet_(std::move(codeSet)) {
    const QByteArray name = codeSet_.toUpper();
    if (name == "UTF-8" || name == "UTF8")
        kind_ = Kind::Utf8;
    else if (name == "ISO-8859-1" || name == "ISO8859-1" || name == "LATIN1")
        kind_ = Kind::Latin1;
    else if (name == "ANSI_X3.4-1968" || name == "US-ASCII" || name == "ASCII" || name.isEmpty())
        kind_ = Kind::Ascii;
    else
        kind_ = Kind::Other;
}

void SystemTextEncoder::append(QByteArray& out, const QString& text) const {
    switch (kind_) {
    case Kind::Utf8: {
        // Lone surrogates cannot be written as UTF-8 either.
        QString clean = text;
        for (qsizetype i = 0; i < clean.size(); ++i) {
            const QChar c = clean[i];
            if (c.isHighSurrogate() && i + 1 < clean.size() && clean[i + 1].isLowSurrogate())
                ++i;
            else if (c.isSurrogate())
                clean[i] = u'?';
        }
        out += clean.toUtf8();
        return;
    }
    case Kind::Latin1:
    case Kind::Ascii: {
        const char16_t limit = kind_ == Kind::Latin1 ? 0x100 : 0x80;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i; // one character, one '?'
            out += c.unicode() < limit ? char(c.unicode()) : '?';
        }
        return;
    }
    case Kind::Other: {
        if (!code_set::known(codeSet_)) {
            SystemTextEncoder(QByteArray("ASCII")).append(out, text);
            return;
        }
        for (qsizetype i = 0; i < text.size(); ++i) {
            qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            const QByteArray bytes = code_set::encodeOne(codeSet_, QStringView(text).mid(i, len));
            out += bytes.isEmpty() ? QByteArray("?") : bytes;
            i += len - 1;
        }
        return;
    }
    }
}

} // namespace lexivane
