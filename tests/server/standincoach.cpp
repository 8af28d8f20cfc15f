// Stands in for tolvane-coach in the server manager's tests: listens where
// HTTP_ADDR says and answers every request with the coach's health reply.
// STANDIN_PROTOCOL changes the protocol it claims; STANDIN_EXIT_CODE makes it
// fail at once with that code, the way a broken build would.
#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("STANDIN_EXIT_CODE")) {
        std::fprintf(stderr, "standin coach: failing on purpose\n");
        return qEnvironmentVariableIntValue("STANDIN_EXIT_CODE");
    }
    const QString address = qEnvironmentVariable("HTTP_ADDR", u"127.0.0.1:20511"_s);
    const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
    QString host = address.left(colon);
    host.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    const quint16 port = quint16(address.mid(colon + 1).toUInt());

    QTcpServer server;
    if (!server.listen(QHostAddress(host), port)) {
        std::fprintf(stderr, "standin coach: cannot listen on %s\n", qPrintable(address));
        return 1;
    }
    std::printf("%u\n", unsigned(server.serverPort()));
    std::fflush(stdout);
    std::fprintf(stderr, "standin coach: ready on %s\n", qPrintable(address));

    const int protocol = qEnvironmentVariableIsSet("STANDIN_PROTOCOL")
                             ? qEnvironmentVariableIntValue("STANDIN_PROTOCOL")
                             : 1;
    const QByteArray body =
        QJsonDocument(QJsonObject{{u"service"_s, u"tolvane-coach"_s},
                                  {u"protocol"_s, protocol},
                                  {u"version"_s, u"0.0.0"_s},
                                  {u"pid"_s, QCoreApplication::applicationPid()}})
            .toJson(QJsonDocument::Compact);
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, body] {
                if (!socket->peek(socket->bytesAvailable()).contains("\r\n\r\n")) {
                    return;
                }
                socket->readAll();
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                              "Connection: close\r\nContent-Length: " +
                              QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        }
    });
    return app.exec();
}
