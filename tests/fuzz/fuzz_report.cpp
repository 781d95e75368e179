// The error report keeps its exact frame around any failure description and step.

#include "shell/steps.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace lexivane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int step = 100 + 2 * ((data[0] << 8 | data[1]) % 500);
    const QString description =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    const QString literal = QStringLiteral("in Vandrel2021/08/31.Form1.PushButton1_Click ");
    const QString text = errorReportText(description, literal, step);
    const QString frame = QStringLiteral("\r\n") + literal + QStringLiteral("at line ") +
                          QString::number(step) +
                          QStringLiteral("\r\rPlease email screenshot of this message to ");
    if (!text.startsWith(description) || text.mid(description.size(), frame.size()) != frame)
        std::abort();
    const QString address = text.mid(description.size() + frame.size());
    if (address.isEmpty() || address.contains(u'\r') || address.contains(u'\n') ||
        address.contains(u' '))
        std::abort();
    return 0;
}
