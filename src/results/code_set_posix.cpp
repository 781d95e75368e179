#include "code_set.h"

#include <QStringEncoder>
#include <langinfo.h>

namespace lexivane::code_set {

QByteArray systemName() {
    return QByteArray(nl_langinfo(CODESET));
}

bool known(const QByteArray& name) {
    return QStringEncoder(name.constData()).isValid();
}

QByteArray encodeOne(const QByteArray& name, QStringView character) {
    QStringEncoder encoder(name.constData());
    const QByteArray bytes = encoder.encode(character);
    return encoder.hasError() ? QByteArray() : bytes;
}

} // namespace lexivane::code_set
