#include "Shell.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>

#include <functional>
#include <memory>

namespace fw {

namespace {
Shell*& installed()
{
    static Shell* s = nullptr;
    return s;
}

QString openerProgram()
{
    const QString program = qEnvironmentVariable("BRONTAL_OPENER");
    return program.isEmpty() ? QStringLiteral("xdg-open") : program;
}

// An opener that finds no program says so at once. One that ends with an error
// much later was a program the desktop started and that the user has closed.
constexpr qint64 kAnswerWithinMs = 30000;
} // namespace

Shell& shell()
{
    static DesktopShell desktop;
    return installed() ? *installed() : desktop;
}

Shell* setShell(Shell* s)
{
    Shell* previous = installed();
    installed() = s;
    return previous;
}

namespace {

// The opener for one URL; answered(ok) is called once, when it ends or fails to start.
QProcess* startOpener(const QUrl& url, const std::function<void(bool ok)>& answered)
{
    auto* opener = new QProcess(QCoreApplication::instance());
    opener->setProgram(openerProgram());
    opener->setArguments({url.isLocalFile() ? url.toLocalFile() : QString::fromLatin1(url.toEncoded())});
    // The program the opener starts may outlive it: it gets our own output, never
    // a pipe that closes under it when the opener ends.
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    opener->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, answered](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        opener->deleteLater();
        answered(false);
    });
    QObject::connect(opener, &QProcess::finished, opener, [opener, answered](int code, QProcess::ExitStatus status) {
        opener->deleteLater();
        answered(status == QProcess::NormalExit && code == 0);
    });
    // An opener still waiting when the program ends is left to itself (the program
    // it started lives on); nobody is told about it any more.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, opener, [opener] {
        opener->disconnect();
        opener->kill();
        opener->waitForFinished(1000);
    });
    opener->start();
    return opener;
}

} // namespace

bool DesktopShell::openUrl(const QUrl& url, const OpenFailed& failed)
{
    if (!url.isValid() || url.isEmpty()) {
        if (failed) failed();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    startOpener(url, [failed, clock](bool ok) {
        if (!ok && failed && clock.elapsed() < kAnswerWithinMs) failed();
    });
    return true;
}

bool DesktopShell::openUrlAndWait(const QUrl& url, int waitMs, const OpenFailed& late)
{
    if (!url.isValid() || url.isEmpty()) return false;
    struct Answer {
        bool given = false;
        bool ok = true;
        bool waiting = true;
        QEventLoop loop;
    };
    auto answer = std::make_shared<Answer>();
    QElapsedTimer clock;
    clock.start();
    startOpener(url, [answer, late, clock](bool ok) {
        answer->given = true;
        answer->ok = ok;
        if (answer->waiting) answer->loop.quit();
        else if (!ok && late && clock.elapsed() < kAnswerWithinMs) late();
    });
    if (!answer->given) {
        QTimer::singleShot(waitMs, &answer->loop, [answer] { answer->loop.quit(); });
        answer->loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    answer->waiting = false;
    return !answer->given || answer->ok;
}

void DesktopShell::setClipboardText(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

QString DesktopShell::clipboardText() const
{
    return QGuiApplication::clipboard()->text();
}

RecordingShell::RecordingShell() : previous_(setShell(this)) {}

RecordingShell::~RecordingShell()
{
    setShell(previous_);
}

bool RecordingShell::openUrl(const QUrl& url, const OpenFailed& failed)
{
    opened.append(url);
    if (!openResult && failed) failed();
    return openResult;
}

QUrl linkUrl(const QString& link)
{
    const QString text = link.trimmed();
    const QFileInfo file(text);
    if (!text.isEmpty() && (file.isAbsolute() || file.exists()))
        return QUrl::fromLocalFile(file.absoluteFilePath());
    return QUrl::fromUserInput(text);
}

QUrl mailtoUrl(const QString& address, const QString& subject, const QString& body)
{
    // Built encoded by hand: QUrlQuery leaves "+" alone, which mail programs read as a blank.
    QByteArray encoded = "mailto:" + QUrl::toPercentEncoding(address, "@");
    QByteArrayList query;
    if (!subject.isEmpty())
        query.append("subject=" + QUrl::toPercentEncoding(subject));
    if (!body.isEmpty())
        query.append("body=" + QUrl::toPercentEncoding(body));
    if (!query.isEmpty())
        encoded += "?" + query.join('&');
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

QUrl telUrl(const QString& number)
{
    return QUrl::fromEncoded("tel:" + QUrl::toPercentEncoding(number, "+()-.*#"), QUrl::StrictMode);
}

QString urlDisplayText(const QUrl& url)
{
    if (url.isLocalFile()) return QDir::toNativeSeparators(url.toLocalFile());
    if (url.scheme() == QLatin1String("mailto")) return url.path(QUrl::FullyDecoded);
    return url.toDisplayString(QUrl::RemoveQuery);
}

bool openLink(const QString& link, const OpenFailed& failed)
{
    return shell().openUrl(linkUrl(link), failed);
}

bool openDocument(const QString& fileName, const OpenFailed& failed)
{
    return shell().openUrl(QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()), failed);
}

bool dial(const QString& number, const OpenFailed& failed)
{
    return shell().openUrl(telUrl(number), failed);
}

QString helpFileName()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath("br.html");
}

bool openHelp(const OpenFailed& failed)
{
    return openDocument(helpFileName(), failed);
}

} // namespace fw
