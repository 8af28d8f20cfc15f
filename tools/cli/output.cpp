#include "output.h"

#include <QJsonDocument>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tolvane::cli {

void printLine(const QJsonObject& object) {
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int fail(const QString& description) {
    printLine(QJsonObject{{u"error"_s, description}});
    return 1;
}

} // namespace tolvane::cli
