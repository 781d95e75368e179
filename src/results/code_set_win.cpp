#include "code_set.h"

#include <QStringEncoder>
#include <windows.h>

namespace lexivane::code_set {

namespace {
// "CP1252" and the like name a Windows code page; 0 for any other name.
UINT codePage(const QByteArray& name) {
    if (!name.toUpper().startsWith("CP")) return 0;
    bool ok = false;
    const uint page = name.mid(2).toUInt(&ok);
    return ok && IsValidCodePage(page) ? page : 0;
}
} // namespace

QByteArray systemName() {
    const UINT page = GetACP();
    return page == CP_UTF8 ? QByteArray("UTF-8") : "CP" + QByteArray::number(page);
}

bool known(const QByteArray& name) {
    return codePage(name) != 0 || QStringEncoder(name.constData()).isValid();
}

QByteArray encodeOne(const QByteArray& name, QStringView character) {
    const UINT page = codePage(name);
    if (page == 0) {
        QStringEncoder encoder(name.constData());
        const QByteArray bytes = encoder.encode(character);
        return encoder.hasError() ? QByteArray() : bytes;
    }
    // No best fit: a character the page lacks is not to become a different letter.
    const auto* wide = reinterpret_cast<const wchar_t*>(character.utf16());
    const int units = int(character.size());
    char bytes[8];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, wide, units, bytes,
                                      int(sizeof bytes), nullptr, &usedDefault);
    return n <= 0 || usedDefault ? QByteArray() : QByteArray(bytes, n);
}

} // namespace lexivane::code_set
