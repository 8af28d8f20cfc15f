#include "videoupload.h"

#include "apiclient.h"
#include "appsettings.h"
#include "jsonreader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QNetworkReply>
#include <QUuid>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace tolvane::upload {

QByteArray makeBoundary() {
    return "tolvane-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces).toUpper();
}

int removeStaleBodies(qint64 maxAgeSeconds) {
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-maxAgeSeconds);
    const QDir temp(QDir::tempPath());
    int removed = 0;
    for (const QFileInfo& info :
         temp.entryInfoList({u"tolvane-upload-*.tmp"_s}, QDir::Files | QDir::Hidden)) {
        if (info.lastModified().toUTC() < cutoff && QFile::remove(info.filePath())) {
            ++removed;
        }
    }
    return removed;
}

MultipartBody::MultipartBody(const QByteArray& boundary, const QList<Field>& fields,
                             const QString& videoPath)
    : m_video(videoPath) {
    for (const Field& field : fields) {
        m_head += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" +
                  field.name.toUtf8() + "\"\r\n\r\n" + field.value.toUtf8() + "\r\n";
    }
    m_head += "--" + boundary +
              "\r\nContent-Disposition: form-data; name=\"video\"; filename=\"short.mp4\"\r\n"
              "Content-Type: video/mp4\r\n\r\n";
    m_tail = "\r\n--" + boundary + "--\r\n";
}

Expected<Done, QString> MultipartBody::openForReading() {
    if (!m_video.open(QIODevice::ReadOnly)) {
        return Unexpected{u"Could not read the video “%1”: %2"_s.arg(
            QFileInfo(m_video.fileName()).fileName(), m_video.errorString())};
    }
    // The length is fixed now: it is the request's Content-Length.
    m_videoSize = m_video.size();
    m_offset = 0;
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return Done{};
}

qint64 MultipartBody::size() const {
    return m_head.size() + m_videoSize + m_tail.size();
}

bool MultipartBody::seek(qint64 position) {
    if (position < 0 || position > size() || !QIODevice::seek(position)) {
        return false;
    }
    m_offset = position;
    return true;
}

qint64 MultipartBody::readData(char* data, qint64 maxSize) {
    const qint64 headEnd = m_head.size();
    const qint64 videoEnd = headEnd + m_videoSize;
    qint64 done = 0;
    while (done < maxSize && m_offset < size()) {
        qint64 n = 0;
        if (m_offset < headEnd) {
            n = std::min(maxSize - done, headEnd - m_offset);
            std::memcpy(data + done, m_head.constData() + m_offset, static_cast<size_t>(n));
        } else if (m_offset < videoEnd) {
            if (m_video.pos() != m_offset - headEnd && !m_video.seek(m_offset - headEnd)) {
                setErrorString(m_video.errorString());
                return done > 0 ? done : -1;
            }
            n = m_video.read(data + done, std::min(maxSize - done, videoEnd - m_offset));
            if (n <= 0) {
                // The file shrank or failed: the body would not match its length.
                setErrorString(n < 0 ? m_video.errorString()
                                     : u"the video file got shorter during the upload"_s);
                return done > 0 ? done : -1;
            }
        } else {
            n = std::min(maxSize - done, size() - m_offset);
            std::memcpy(data + done, m_tail.constData() + (m_offset - videoEnd),
                        static_cast<size_t>(n));
        }
        done += n;
        m_offset += n;
    }
    return done;
}

} // namespace tolvane::upload

namespace tolvane {

namespace {

struct VideoReply {
    qint64 videoID = 0;
    static VideoReply read(JsonReader& reader) { return {reader.integer("video_id"_L1)}; }
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
    // Bodies a killed upload of an earlier version left behind.
    upload::removeStaleBodies();
    const QByteArray boundary = upload::makeBoundary();
    const QList<upload::Field> fields{
        {u"user_id"_s, m_settings ? m_settings->userID() : QString()},
        {u"duration"_s, QString::asprintf("%.2f", duration)},
        {u"title"_s, title},
    };
    upload::MultipartBody body(boundary, fields, filePath);
    if (const auto opened = body.openForReading(); !opened) {
        co_return Unexpected{APIError::file(opened.error())};
    }
    if (body.size() > upload::maxBodyBytes) {
        const auto size = [](qint64 bytes) {
            return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
        };
        co_return Unexpected{
            APIError::file(u"The video is %1; the coach takes videos up to %2."_s.arg(
                size(body.size()), size(upload::maxBodyBytes)))};
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
