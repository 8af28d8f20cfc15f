#pragma once

#include "awaittask.h"
#include "scriptedhttpserver.h"
#include "service/apiclient.h"

#include <QSignalSpy>

namespace tolvane::test {

// Waits on `signal` until `done` holds; false when it never does.
template <typename Object, typename Signal, typename Predicate>
bool waitUntil(Object* object, Signal signal, Predicate done) {
    QSignalSpy spy(object, signal);
    while (!done()) {
        if (!spy.wait(10000)) {
            return false;
        }
    }
    return true;
}

// Lets every reply the server has written reach the client before the test
// looks: waits until the server closed its connections, then awaits one more
// request, whose reply the client handles after the earlier ones.
inline bool settle(ScriptedHttpServer& server, AppSettings& settings) {
    if (!waitUntil(&server, &ScriptedHttpServer::connectionClosed,
                   [&] { return server.openConnections() == server.heldCount(); })) {
        return false;
    }
    server.on("/api/debug/status", Script::respond(200, R"({"debug":true})"));
    const APIClient client(settings, ServiceEndpoints::forRoot(server.root()));
    awaitTask(client.debugStatus());
    return true;
}

} // namespace tolvane::test
