#pragma once

#include "db/DbError.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>

class QEventLoop;
class QThread;

namespace fw {

struct MailMessage {
    QString fromAddress;
    QString fromName;
    QStringList to;
    QString subject;
    QString body;               // plain text
    QStringList attachments;    // file names
    QDateTime date;             // invalid: the moment of sending
};

// Sends mail over SMTP (libcurl) on a worker thread, one message per session,
// so the window stays responsive and can abort. Signals arrive on the thread
// that owns the client.
class SmtpClient : public QObject {
    Q_OBJECT
public:
    enum class Failure { Connection, Aborted, Other };
    Q_ENUM(Failure)
    enum class Charset { Utf8, Cp1251 };

    explicit SmtpClient(QObject* parent = nullptr);
    ~SmtpClient() override;   // aborts a running transfer and waits for the worker

    void setHost(const QString& host) { host_ = host; }
    QString host() const { return host_; }
    void setPort(int port) { port_ = port; }
    int port() const { return port_; }
    // The character set of the text parts, the subject and the sender's name.
    void setCharset(Charset c) { charset_ = c; }
    Charset charset() const { return charset_; }
    void setConnectTimeout(int seconds) { connectTimeout_ = seconds; }

    // Starts sending and returns at once. Throws Error for a message that cannot
    // be built (a bad address, a missing attachment, text outside the character
    // set) or while another message is being sent.
    void send(const MailMessage& message);
    // Sends and waits while the event loop keeps running; throws SmtpError when
    // sending failed and Abort when it was aborted.
    void sendAndWait(const MailMessage& message);
    void abort();
    bool isBusy() const { return thread_ != nullptr; }

signals:
    void sendStarted(const QString& subject);
    void progress(qint64 sent, qint64 total);
    void succeeded();
    void failed(fw::SmtpClient::Failure failure, const QString& message);

private:
    struct Job;
    struct Outcome {
        Failure failure = Failure::Other;
        bool ok = false;
        QString message;
    };
    void finish();
    static Outcome perform(const Job& job, SmtpClient* client);

    QString host_;
    int port_ = 25;
    Charset charset_ = Charset::Utf8;
    int connectTimeout_ = 30;
    QThread* thread_ = nullptr;
    std::atomic<bool> abort_{false};
    Outcome outcome_;
    QEventLoop* waitLoop_ = nullptr;
};

class SmtpError : public Error {
public:
    SmtpError(const QString& message, SmtpClient::Failure failure) : Error(message), failure_(failure) {}
    SmtpClient::Failure failure() const { return failure_; }
private:
    SmtpClient::Failure failure_;
};

} // namespace fw
