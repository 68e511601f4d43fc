#include "db/CodePage.h"
#include "os/Smtp.h"
#include "support/LoopbackSocket.h"
#include "support/Printers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace fw;

namespace {

using testing_support::freePort;
using Listener = testing_support::LoopbackSocket;

bool accepting(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// The messages the server stored, parsed by Python's email package.
QJsonArray storedMessages(const QString& maildir)
{
    static const char* script = R"(
import sys, json, mailbox, email, email.policy
box = mailbox.Maildir(sys.argv[1], factory=None)
out = []
for key in box.keys():
    m = email.message_from_bytes(box.get_bytes(key), policy=email.policy.default)
    parts = []
    for p in m.walk():
        if p.is_multipart():
            continue
        c = p.get_content()
        legacy = email.message_from_bytes(p.as_bytes(), policy=email.policy.compat32)
        parts.append({"type": p.get_content_type(), "charset": p.get_content_charset() or "",
                      "rawdisposition": str(legacy.get("Content-Disposition", "")), "hastype": "Content-Type" in p,
                      "legacyname": legacy.get_filename() or "",
                      "disposition": p.get_content_disposition() or "", "filename": p.get_filename() or "",
                      "text": c if isinstance(c, str) else "", "hex": c.hex() if isinstance(c, bytes) else ""})
    out.append({"subject": str(m["subject"]), "from": str(m["from"]), "to": str(m["to"]),
                "msgid": str(m["Message-ID"] or ""),
                "defects": len(m.defects) + sum(len(p.defects) for p in m.walk()),
                "rcpt": m["X-RcptTo"], "mailfrom": m["X-MailFrom"], "parts": parts})
print(json.dumps(out))
)";
    QProcess p;
    p.start("/usr/bin/python3", {"-c", script, maildir});
    p.waitForFinished();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

} // namespace

class SmtpServer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        port_ = freePort();
        server_ = new QProcess;
        server_->start("/usr/bin/python3", {"-m", "aiosmtpd", "-n", "-l", QString("127.0.0.1:%1").arg(port_), "-c",
                                            "aiosmtpd.handlers.Mailbox", dir_->filePath("mail")});
        QElapsedTimer t;
        t.start();
        while (server_->state() != QProcess::NotRunning && !accepting(port_) && t.elapsed() < 10000)
            QThread::msleep(50);
        if (!accepting(port_)) {
            delete server_;
            server_ = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        if (server_) {
            server_->terminate();
            if (!server_->waitForFinished(5000))
                server_->kill();
            server_->waitForFinished();
        }
        delete server_;
        delete dir_;
        server_ = nullptr;
    }
    void SetUp() override
    {
        if (!server_)
            GTEST_SKIP() << "aiosmtpd cannot be started";
    }
    static QProcess* server_;
    static QTemporaryDir* dir_;
    static int port_;
};
QProcess* SmtpServer::server_ = nullptr;
QTemporaryDir* SmtpServer::dir_ = nullptr;
int SmtpServer::port_ = 0;

TEST_F(SmtpServer, DeliversTextAndAttachmentInTheCharsetAsked)
{
    QTemporaryDir files;
    const QString attachment = files.filePath("прайс лист.bin");
    QByteArray data;
    for (int i = 0; i < 3000; ++i)
        data.append(char(i % 256));
    QFile f(attachment);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();
    const QString note = files.filePath("заметка \"1\".txt");
    QFile n(note);
    ASSERT_TRUE(n.open(QIODevice::WriteOnly));
    n.write(toCp1251("Привет"));
    n.close();

    SmtpClient client;
    client.setHost("127.0.0.1");
    client.setPort(port_);
    client.setCharset(SmtpClient::Charset::Cp1251);
    QSignalSpy progress(&client, &SmtpClient::progress);
    QSignalSpy ok(&client, &SmtpClient::succeeded);

    MailMessage m;
    m.fromAddress = "ivanov@firm.ru";
    m.fromName = "Иванов, Иван";
    m.to = QStringList{"\"Анна Петрова\" <client@example.ru>", "copy@example.ru"};
    m.subject = "Материалы //Прайс (1 of 1) и ещё очень длинная тема письма, которая не помещается в одно слово";
    m.body = "Добрый день!\nСтрока вторая.\n.точка в начале";
    m.attachments = QStringList{attachment, note};
    client.sendAndWait(m);
    EXPECT_EQ(ok.count(), 1);
    ASSERT_GE(progress.count(), 1);
    EXPECT_GT(progress.last().at(1).toLongLong(), 0);
    EXPECT_EQ(progress.last().at(0), progress.last().at(1));

    client.setCharset(SmtpClient::Charset::Utf8);
    MailMessage u;
    u.fromAddress = "ivanov@firm.ru";
    u.to = QStringList{"client@example.ru"};
    u.subject = "Тест ✓";
    u.body = "Текст ✓";
    client.sendAndWait(u);

    const QJsonArray msgs = storedMessages(dir_->filePath("mail"));
    ASSERT_EQ(msgs.size(), 2);
    const bool firstIsA = msgs[0]["subject"].toString() != u.subject;
    const QJsonObject a = msgs[firstIsA ? 0 : 1].toObject();
    const QJsonObject b = msgs[firstIsA ? 1 : 0].toObject();
    EXPECT_EQ(a["subject"].toString(), m.subject);
    EXPECT_EQ(a["from"].toString(), "\"Иванов, Иван\" <ivanov@firm.ru>");
    EXPECT_EQ(a["to"].toString(), "Анна Петрова <client@example.ru>, copy@example.ru");
    EXPECT_EQ(a["rcpt"].toString(), "client@example.ru, copy@example.ru");
    EXPECT_EQ(a["mailfrom"].toString(), "ivanov@firm.ru");
    EXPECT_EQ(a["defects"].toInt(), 0);
    EXPECT_TRUE(a["msgid"].toString().contains(QRegularExpression("^<[^@<>]+@firm\\.ru>$")))
        << a["msgid"].toString().toStdString();
    EXPECT_NE(a["msgid"], b["msgid"]);
    const QJsonArray parts = a["parts"].toArray();
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(parts[0]["type"].toString(), "text/plain");
    EXPECT_EQ(parts[0]["charset"].toString(), "windows-1251");
    EXPECT_EQ(parts[0]["disposition"].toString(), "inline");
    EXPECT_EQ(parts[0]["text"].toString(), "Добрый день!\r\nСтрока вторая.\r\n.точка в начале");
    EXPECT_EQ(parts[1]["disposition"].toString(), "attachment");
    EXPECT_EQ(parts[1]["filename"].toString(), "прайс лист.bin");
    EXPECT_EQ(parts[1]["legacyname"].toString(), "прайс лист.bin");
    // RFC 2231, never an encoded word inside a quoted parameter.
    EXPECT_TRUE(parts[1]["rawdisposition"].toString().contains("filename*")) << parts[1]["rawdisposition"].toString().toStdString();
    EXPECT_FALSE(parts[1]["rawdisposition"].toString().contains("=?"));
    EXPECT_TRUE(parts[1]["hastype"].toBool());
    EXPECT_EQ(parts[1]["hex"].toString().toLatin1(), data.toHex());
    // A text file says its character set, so readers show it right.
    EXPECT_EQ(parts[2]["type"].toString(), "text/plain");
    EXPECT_EQ(parts[2]["charset"].toString(), "windows-1251");
    EXPECT_EQ(parts[2]["disposition"].toString(), "attachment");
    EXPECT_EQ(parts[2]["filename"].toString(), "заметка \"1\".txt");
    EXPECT_EQ(parts[2]["legacyname"].toString(), "заметка \"1\".txt");

    EXPECT_EQ(b["subject"].toString(), "Тест ✓");
    const QJsonObject text = b["parts"].toArray()[0].toObject();
    EXPECT_EQ(text["charset"].toString(), "utf-8");
    EXPECT_EQ(text["text"].toString(), "Текст ✓");
}

TEST(Smtp, RefusedConnectionIsReportedAsConnectionFailure)
{
    SmtpClient client;
    client.setHost("127.0.0.1");
    client.setPort(freePort());
    QSignalSpy failed(&client, &SmtpClient::failed);
    QSignalSpy ok(&client, &SmtpClient::succeeded);
    MailMessage m{"a@b.ru", {}, {"c@d.ru"}, "s", "b", {}, {}};
    try {
        client.sendAndWait(m);
        FAIL() << "reported as sent";
    } catch (const SmtpError& e) {
        EXPECT_EQ(e.failure(), SmtpClient::Failure::Connection);
        EXPECT_TRUE(e.message().startsWith("Ошибка подключения к серверу")) << e.message().toStdString();
    }
    EXPECT_EQ(ok.count(), 0);
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed[0][0].value<SmtpClient::Failure>(), SmtpClient::Failure::Connection);
    EXPECT_FALSE(client.isBusy());
}

TEST(Smtp, AbortEndsAWaitWhileEventsKeepRunning)
{
    Listener silent(true);   // accepts the connection, never greets
    SmtpClient client;
    client.setHost("127.0.0.1");
    client.setPort(silent.port);
    bool timerRan = false;
    QTimer::singleShot(300, &client, [&] {
        timerRan = true;
        client.abort();
    });
    QElapsedTimer t;
    t.start();
    EXPECT_THROW(client.sendAndWait(MailMessage{"a@b.ru", {}, {"c@d.ru"}, "s", "b", {}, {}}), Abort);
    EXPECT_TRUE(timerRan);
    EXPECT_LT(t.elapsed(), 10000);
}

TEST(Smtp, MessagesThatCannotBeSentSafelyAreRefused)
{
    SmtpClient client;
    client.setHost("127.0.0.1");
    client.setPort(freePort());
    client.setCharset(SmtpClient::Charset::Cp1251);
    MailMessage m{"a@b.ru", {}, {"c@d.ru"}, "s", "b", {}, {}};

    MailMessage injected = m;
    injected.to = QStringList{"c@d.ru>\r\nRCPT TO:<x@evil.ru"};
    EXPECT_THROW(client.send(injected), Error);
    MailMessage missing = m;
    missing.attachments = QStringList{"/nonexistent/file.doc"};
    EXPECT_THROW(client.send(missing), Error);
    MailMessage foreign = m;
    foreign.body = "✓";
    EXPECT_THROW(client.send(foreign), EncodingError);
    EXPECT_FALSE(client.isBusy());
}
