#include "mediacommands.h"
#include "output.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

const char* const usage = R"(usage: tolvane-cli [--service-root URL] COMMAND [ARGS...]

Talks to the coach service with the same client code and settings as the app.
Every command prints one JSON object per line; failures end with {"error": ...}
and exit code 1.
)";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tolvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Tolvane"));
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help") ||
        args.first() == QLatin1String("-h")) {
        std::fputs(usage, stdout);
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == QLatin1String("media")) {
        return tolvane::cli::runMediaCommand(args.mid(1));
    }
    return tolvane::cli::fail(QStringLiteral("unknown command: ") + args.first());
}
