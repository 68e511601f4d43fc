#include "Shell.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace fw {

namespace {
Shell*& installed()
{
    static Shell* s = nullptr;
    return s;
}
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

bool DesktopShell::openUrl(const QUrl& url)
{
    return url.isValid() && QDesktopServices::openUrl(url);
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

bool RecordingShell::openUrl(const QUrl& url)
{
    opened.append(url);
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

bool openLink(const QString& link)
{
    return shell().openUrl(linkUrl(link));
}

bool openDocument(const QString& fileName)
{
    return shell().openUrl(QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()));
}

bool dial(const QString& number)
{
    return shell().openUrl(telUrl(number));
}

QString helpFileName()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath("br.html");
}

bool openHelp()
{
    return openDocument(helpFileName());
}

} // namespace fw
