#include "Smtp.h"

#include "db/CodePage.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStringDecoder>
#include <QUuid>
#include <QPointer>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>
#include <mutex>

#include <curl/curl.h>

namespace fw {

struct SmtpClient::Job {
    struct Attachment {
        QByteArray path;
        QByteArray type;          // the Content-Type value
        QByteArray disposition;   // the whole Content-Disposition header
    };
    QByteArray url;
    QByteArray mailFrom;
    QList<QByteArray> recipients;
    QList<QByteArray> headers;
    QByteArray body;
    QByteArray bodyType;
    QList<Attachment> attachments;
    long connectTimeout = 30;
};

namespace {

QString checkedAddress(const QString& address)
{
    static const QRegularExpression valid(R"(^[!#-'*+\-./0-9=?A-Z^_`a-z{|}~]+@[A-Za-z0-9.\-\[\]:]+$)");
    const QString a = address.trimmed();
    if (!valid.match(a).hasMatch())
        throw Error(QString("Неверный адрес электронной почты: \"%1\"").arg(address));
    return a;
}

// "Name <a@b.ru>", "\"Name\" <a@b.ru>" or a bare address: the display name and the address.
std::pair<QString, QString> splitAddress(const QString& address)
{
    const qsizetype open = address.lastIndexOf('<');
    const qsizetype close = address.lastIndexOf('>');
    if (open < 0 || close < open)
        return {QString(), address.trimmed()};
    QString name = address.left(open).trimmed();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
        name = name.mid(1, name.size() - 2).replace("\\\"", "\"").trimmed();
    return {name, address.mid(open + 1, close - open - 1).trimmed()};
}

// An RFC 2231 parameter: plain and quoted when it is printable ASCII, otherwise
// name*=UTF-8''percent-encoded (an encoded word is not allowed there).
QByteArray mimeParameter(const char* name, const QString& value)
{
    static const QRegularExpression plain(R"(^[ -~]*$)");
    QString v = value;
    for (QChar& c : v)
        if (c < QChar(32))
            c = ' ';
    if (plain.match(v).hasMatch() && v.size() < 200) {
        QByteArray quoted = v.toLatin1();
        quoted.replace("\\", "\\\\").replace("\"", "\\\"");
        return QByteArray(name) + "=\"" + quoted + "\"";
    }
    return QByteArray(name) + "*=UTF-8''" + v.toUtf8().toPercentEncoding("!#$&+-.^_`|~");
}

// The Content-Type of an attached file; text carries its character set,
// guessed from the bytes: UTF-8 when they read as such, otherwise the code page.
QByteArray attachmentType(const QFileInfo& info)
{
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
    QByteArray type = mime.isValid() ? mime.name().toLatin1() : QByteArray("application/octet-stream");
    if (mime.inherits("text/plain") || type.startsWith("text/")) {
        QFile f(info.absoluteFilePath());
        QByteArray head;
        if (f.open(QIODevice::ReadOnly))
            head = f.read(1 << 20);
        bool ascii = true;
        for (char c : head)
            if (uchar(c) >= 0x80) {
                ascii = false;
                break;
            }
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8.decode(head);
        const char* charset = ascii ? "us-ascii" : !utf8.hasError() ? "utf-8" : "windows-1251";
        type += QByteArray("; charset=") + charset;
    }
    return type + "; " + mimeParameter("name", info.fileName());
}

QByteArray encodeText(const QString& text, SmtpClient::Charset charset)
{
    return charset == SmtpClient::Charset::Cp1251 ? toCp1251(text) : text.toUtf8();
}

enum class HeaderPart { Text, Phrase };

// A header value: plain ASCII as it is, anything else as RFC 2047 encoded words,
// folded so that no line grows long. CR and LF never reach the header.
QByteArray headerText(QString text, SmtpClient::Charset charset, HeaderPart part)
{
    for (QChar& c : text)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    static const QRegularExpression plain(R"(^[ -~]*$)");
    static const QRegularExpression phraseSpecials(R"([()<>\[\]:;@\\,."=?])");
    const bool special = part == HeaderPart::Phrase && phraseSpecials.match(text).hasMatch();
    if (plain.match(text).hasMatch() && text.size() < 900 && !special && !text.contains("=?"))
        return text.toLatin1();

    const QByteArray prefix = charset == SmtpClient::Charset::Cp1251 ? "=?windows-1251?B?" : "=?UTF-8?B?";
    constexpr qsizetype maxBytes = 42;   // keeps each encoded word within 75 characters
    QByteArrayList words;
    QByteArray chunk;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray bytes = encodeText(text.mid(i, len), charset);
        if (chunk.size() + bytes.size() > maxBytes) {
            words.append(prefix + chunk.toBase64() + "?=");
            chunk.clear();
        }
        chunk += bytes;
        i += len;
    }
    if (!chunk.isEmpty() || words.isEmpty())
        words.append(prefix + chunk.toBase64() + "?=");
    return words.join("\r\n ");
}

struct CurlSlist {
    curl_slist* list = nullptr;
    ~CurlSlist() { curl_slist_free_all(list); }
    void append(const QByteArray& s)
    {
        curl_slist* l = curl_slist_append(list, s.constData());
        if (!l)
            throw std::bad_alloc();
        list = l;
    }
};

struct Progress {
    SmtpClient* client;
    std::atomic<bool>* abort;
    curl_off_t last = -1;
};

} // namespace

SmtpClient::SmtpClient(QObject* parent) : QObject(parent)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

SmtpClient::~SmtpClient()
{
    abort_ = true;
    if (thread_) {
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
    }
    if (waitLoop_)
        waitLoop_->quit();
}

void SmtpClient::send(const MailMessage& m)
{
    if (isBusy())
        throw Error("Отправка предыдущего письма ещё не завершена");
    if (host_.trimmed().isEmpty())
        throw Error("Не указан SMTP-сервер");
    if (m.to.isEmpty())
        throw Error("Не указан адрес получателя");

    auto job = std::make_shared<Job>();
    QUrl url;
    url.setScheme("smtp");
    url.setHost(host_.trimmed());
    url.setPort(port_);
    job->url = url.toEncoded();
    job->connectTimeout = connectTimeout_;

    const QString from = checkedAddress(m.fromAddress);
    job->mailFrom = "<" + from.toLatin1() + ">";
    QByteArrayList to;
    for (const QString& a : m.to) {
        // The envelope takes the bare address; the header keeps the display name.
        const auto [name, address] = splitAddress(a);
        const QByteArray addr = checkedAddress(address).toLatin1();
        job->recipients.append("<" + addr + ">");
        to.append(name.isEmpty() ? addr : headerText(name, charset_, HeaderPart::Phrase) + " <" + addr + ">");
    }
    const QDateTime date = m.date.isValid() ? m.date : QDateTime::currentDateTime();
    job->headers.append("Date: " + date.toString(Qt::RFC2822Date).toLatin1());
    job->headers.append("Message-ID: <" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "."
                        + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + "@"
                        + from.section('@', 1).toLatin1() + ">");
    job->headers.append("From: "
                        + (m.fromName.trimmed().isEmpty()
                               ? from.toLatin1()
                               : headerText(m.fromName.trimmed(), charset_, HeaderPart::Phrase) + " <" + from.toLatin1() + ">"));
    job->headers.append("To: " + to.join(", "));
    job->headers.append("Subject: " + headerText(m.subject, charset_, HeaderPart::Text));

    QString body = m.body;
    body.replace("\r\n", "\n").replace('\r', '\n').replace('\n', "\r\n");
    job->body = encodeText(body, charset_);
    job->bodyType = charset_ == Charset::Cp1251 ? "text/plain; charset=windows-1251" : "text/plain; charset=utf-8";

    for (const QString& f : m.attachments) {
        const QFileInfo info(f);
        if (!info.isFile() || !info.isReadable())
            throw Error(QString("Файл вложения не найден или недоступен: \"%1\"").arg(f));
        job->attachments.append({QFile::encodeName(info.absoluteFilePath()), attachmentType(info),
                                 "Content-Disposition: attachment; " + mimeParameter("filename", info.fileName())});
    }

    abort_ = false;
    outcome_ = {};
    thread_ = QThread::create([this, job] { outcome_ = perform(*job, this); });
    connect(thread_, &QThread::finished, this, &SmtpClient::finish);
    emit sendStarted(m.subject);
    thread_->start();
}

void SmtpClient::sendAndWait(const MailMessage& message)
{
    send(message);
    QPointer<SmtpClient> self(this);
    QEventLoop loop;
    waitLoop_ = &loop;
    loop.exec();
    if (!self)
        throw Abort();
    waitLoop_ = nullptr;
    if (outcome_.ok)
        return;
    if (outcome_.failure == Failure::Aborted)
        throw Abort();
    throw SmtpError(outcome_.message, outcome_.failure);
}

void SmtpClient::abort()
{
    abort_ = true;
}

void SmtpClient::finish()
{
    if (!thread_)
        return;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    const Outcome o = outcome_;
    if (waitLoop_)
        waitLoop_->quit();
    if (o.ok)
        emit succeeded();
    else
        emit failed(o.failure, o.message);
}

// Runs on the worker thread: nothing here touches Qt objects but the atomic
// flag and queued calls back to the client.
SmtpClient::Outcome SmtpClient::perform(const Job& job, SmtpClient* client)
{
    Outcome out;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        out.message = "Не удалось инициализировать libcurl";
        return out;
    }
    char errorText[CURL_ERROR_SIZE] = "";
    CURLcode rc = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(curl.get(), option, value);
    };
    CurlSlist recipients, headers, inlineHeader;
    std::unique_ptr<curl_mime, decltype(&curl_mime_free)> mime(curl_mime_init(curl.get()), &curl_mime_free);
    Progress progress{client, &client->abort_};
    try {
        for (const QByteArray& r : job.recipients)
            recipients.append(r);
        for (const QByteArray& h : job.headers)
            headers.append(h);
        inlineHeader.append("Content-Disposition: inline");
    } catch (const std::bad_alloc&) {
        out.message = "Недостаточно памяти для письма";
        return out;
    }

    set(CURLOPT_ERRORBUFFER, errorText);
    set(CURLOPT_URL, job.url.constData());
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_CONNECTTIMEOUT, job.connectTimeout);
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, 60L);
    set(CURLOPT_MAIL_FROM, job.mailFrom.constData());
    set(CURLOPT_MAIL_RCPT, recipients.list);
    set(CURLOPT_HTTPHEADER, headers.list);

    curl_mimepart* text = curl_mime_addpart(mime.get());
    if (rc == CURLE_OK && !text)
        rc = CURLE_OUT_OF_MEMORY;
    if (rc == CURLE_OK)
        rc = curl_mime_data(text, job.body.constData(), size_t(job.body.size()));
    if (rc == CURLE_OK)
        rc = curl_mime_type(text, job.bodyType.constData());
    if (rc == CURLE_OK)   // base64 rather than quoted-printable: libcurl then knows the size for progress
        rc = curl_mime_encoder(text, "base64");
    if (rc == CURLE_OK) {
        rc = curl_mime_headers(text, inlineHeader.list, 1);
        if (rc == CURLE_OK)
            inlineHeader.list = nullptr;   // the part owns it now
    }
    for (const Job::Attachment& a : job.attachments) {
        curl_mimepart* part = rc == CURLE_OK ? curl_mime_addpart(mime.get()) : nullptr;
        if (rc == CURLE_OK && !part)
            rc = CURLE_OUT_OF_MEMORY;
        if (rc == CURLE_OK)
            rc = curl_mime_filedata(part, a.path.constData());
        // The file name goes in our own disposition header (RFC 2231); libcurl's
        // would put the path's last part there, quoted.
        if (rc == CURLE_OK)
            rc = curl_mime_filename(part, nullptr);
        if (rc == CURLE_OK)
            rc = curl_mime_type(part, a.type.constData());
        if (rc == CURLE_OK)
            rc = curl_mime_encoder(part, "base64");
        if (rc == CURLE_OK) {
            curl_slist* h = curl_slist_append(nullptr, a.disposition.constData());
            rc = h ? curl_mime_headers(part, h, 1) : CURLE_OUT_OF_MEMORY;
        }
    }
    set(CURLOPT_MIMEPOST, mime.get());
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFODATA, &progress);
    set(CURLOPT_XFERINFOFUNCTION,
        +[](void* p, curl_off_t, curl_off_t, curl_off_t total, curl_off_t now) -> int {
            auto* pr = static_cast<Progress*>(p);
            if (*pr->abort)
                return 1;
            if (now != pr->last) {
                pr->last = now;
                SmtpClient* c = pr->client;
                QMetaObject::invokeMethod(
                    c, [c, now, total] { emit c->progress(qint64(now), qint64(total)); }, Qt::QueuedConnection);
            }
            return 0;
        });
    if (rc == CURLE_OK)
        rc = curl_easy_perform(curl.get());

    if (rc == CURLE_OK) {
        out.ok = true;
        return out;
    }
    const QString detail = QString::fromUtf8(*errorText ? errorText : curl_easy_strerror(rc)).trimmed();
    curl_off_t connectTime = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_CONNECT_TIME_T, &connectTime);
    if (rc == CURLE_ABORTED_BY_CALLBACK || client->abort_.load()) {
        out.failure = Failure::Aborted;
        out.message = "Отправка письма прервана";
    } else if (rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_COULDNT_CONNECT
               || (rc == CURLE_OPERATION_TIMEDOUT && connectTime == 0)) {
        out.failure = Failure::Connection;
        out.message = QString("Ошибка подключения к серверу %1: %2").arg(QString::fromLatin1(job.url), detail);
    } else {
        out.failure = Failure::Other;
        out.message = QString("Ошибка отправки письма: %1").arg(detail);
    }
    return out;
}

} // namespace fw
