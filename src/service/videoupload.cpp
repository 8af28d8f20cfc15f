#include "videoupload.h"

#include "apiclient.h"
#include "appsettings.h"
#include "jsonreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace tolvane::upload {

QByteArray makeBoundary() {
    return "tolvane-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces).toUpper();
}

QString makeBodyPath() {
    return QDir(QDir::tempPath())
        .filePath(u"tolvane-upload-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces) +
                  u".tmp"_s);
}

namespace {

QString fileError(const QString& what, const QFile& file) {
    return u"Could not %1 “%2”: %3"_s.arg(what, QFileInfo(file.fileName()).fileName(),
                                          file.errorString());
}

} // namespace

Expected<Done, QString> writeMultipartBody(const QString& bodyPath, const QByteArray& boundary,
                                           const QList<Field>& fields, const QString& videoPath) {
    QFile body(bodyPath);
    if (!body.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return Unexpected{fileError(u"write the upload body"_s, body)};
    }
    QByteArray head;
    for (const Field& field : fields) {
        head += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" +
                field.name.toUtf8() + "\"\r\n\r\n" + field.value.toUtf8() + "\r\n";
    }
    head += "--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"video\"; filename=\"short.mp4\"\r\n"
            "Content-Type: video/mp4\r\n\r\n";
    if (body.write(head) != head.size()) {
        return Unexpected{fileError(u"write the upload body"_s, body)};
    }

    QFile video(videoPath);
    if (!video.open(QIODevice::ReadOnly)) {
        return Unexpected{fileError(u"read the video"_s, video)};
    }
    QByteArray chunk(chunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 read = video.read(chunk.data(), chunkSize);
        if (read < 0) {
            return Unexpected{fileError(u"read the video"_s, video)};
        }
        if (read == 0) {
            break;
        }
        if (body.write(chunk.constData(), read) != read) {
            return Unexpected{fileError(u"write the upload body"_s, body)};
        }
    }
    video.close();
    const QByteArray closing = "\r\n--" + boundary + "--\r\n";
    if (body.write(closing) != closing.size() || !body.flush()) {
        return Unexpected{fileError(u"write the upload body"_s, body)};
    }
    body.close();
    if (body.error() != QFileDevice::NoError) {
        return Unexpected{fileError(u"write the upload body"_s, body)};
    }
    return Done{};
}

} // namespace tolvane::upload

namespace tolvane {

namespace {

struct VideoReply {
    qint64 videoID = 0;
    static VideoReply read(JsonReader& reader) { return {reader.integer("video_id"_L1)}; }
};

// Removes the body file whatever way the upload ends.
struct RemoveOnExit {
    QString path;
    ~RemoveOnExit() { QFile::remove(path); }
};

} // namespace

QCoro::Task<APIResult<qint64>> APIClient::uploadVideo(QString filePath, double duration,
                                                      QString title,
                                                      std::function<void(double)> progress,
                                                      CancelHandle cancel) const {
    const auto base = baseURL();
    if (!base) {
        co_return Unexpected{APIError::badURL()};
    }
    const QByteArray boundary = upload::makeBoundary();
    const RemoveOnExit bodyFile{upload::makeBodyPath()};
    {
        QFile create(bodyFile.path);
        if (!create.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            co_return Unexpected{
                APIError::file(u"Could not create the upload body: "_s + create.errorString())};
        }
    }
    const QList<upload::Field> fields{
        {u"user_id"_s, m_settings ? m_settings->userID() : QString()},
        {u"duration"_s, QString::asprintf("%.2f", duration)},
        {u"title"_s, title},
    };
    if (auto written = upload::writeMultipartBody(bodyFile.path, boundary, fields, filePath);
        !written) {
        co_return Unexpected{APIError::file(written.error())};
    }

    QFile body(bodyFile.path);
    if (!body.open(QIODevice::ReadOnly)) {
        co_return Unexpected{
            APIError::file(u"Could not read the upload body: "_s + body.errorString())};
    }
    HttpRequest request;
    request.request = makeRequest(appending(*base, u"inapp/video"_s));
    request.request.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary);
    request.method = "POST";
    request.bodyDevice = &body;
    request.timeout = std::chrono::seconds(600);
    if (progress) {
        request.uploadProgress = [progress](qint64 sent, qint64 total) {
            if (total >= 1) {
                progress(static_cast<double>(sent) / static_cast<double>(total));
            }
        };
    }
    const HttpResponse response = co_await send(std::move(request), cancel);
    body.close();
    auto replyBody = detail::checkedBody(response);
    if (!replyBody) {
        co_return Unexpected{replyBody.error()};
    }
    auto decoded = json::decode<VideoReply>(*replyBody);
    if (!decoded) {
        co_return Unexpected{APIError::decoding(u"unexpected video upload reply"_s)};
    }
    co_return decoded->videoID;
}

} // namespace tolvane
