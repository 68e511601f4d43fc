#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

namespace fw {

// Called on the main thread when the desktop opened nothing for a URL.
using OpenFailed = std::function<void()>;

// What the program asks of the desktop: open a link, a file, a mail address or
// a telephone number with the user's default program, and the clipboard text.
// Tests install a RecordingShell so that nothing opens on the desktop.
class Shell {
public:
    virtual ~Shell() = default;
    // Hands the URL to the desktop. When no program takes it, failed is called:
    // at once (and false returned), or later, once the desktop has said so.
    virtual bool openUrl(const QUrl& url, const OpenFailed& failed = {}) = 0;
    // Hands the URL to the desktop and waits up to waitMs for its answer: false
    // when no program took it, true when one did or the desktop is still at it
    // (then a refusal that comes later calls late).
    virtual bool openUrlAndWait(const QUrl& url, int waitMs, const OpenFailed& late = {}) = 0;
    virtual void setClipboardText(const QString& text) = 0;
    virtual QString clipboardText() const = 0;
};

// The installed shell; the desktop's own unless another was installed.
Shell& shell();
// Installs s (nullptr: the desktop's again); returns the one it replaces.
Shell* setShell(Shell* s);

// The desktop's opener and QClipboard. The opener (xdg-open, or the program
// that BRONTAL_OPENER names) runs for each URL without the program waiting
// for it; its exit status tells whether a program took the URL.
class DesktopShell : public Shell {
public:
    bool openUrl(const QUrl& url, const OpenFailed& failed = {}) override;
    bool openUrlAndWait(const QUrl& url, int waitMs, const OpenFailed& late = {}) override;
    void setClipboardText(const QString& text) override;
    QString clipboardText() const override;
};

// Records every request instead of acting on it; installs itself for its lifetime.
class RecordingShell : public Shell {
public:
    RecordingShell();
    RecordingShell(const RecordingShell&) = delete;
    RecordingShell& operator=(const RecordingShell&) = delete;
    ~RecordingShell() override;

    // A refusal (openResult false) calls failed at once.
    bool openUrl(const QUrl& url, const OpenFailed& failed = {}) override;
    bool openUrlAndWait(const QUrl& url, int, const OpenFailed& = {}) override
    {
        opened.append(url);
        return openResult;
    }
    void setClipboardText(const QString& text) override { clipboard = text; }
    QString clipboardText() const override { return clipboard; }

    QList<QUrl> opened;
    QString clipboard;
    bool openResult = true;   // what openUrl answers

private:
    Shell* previous_;
};

// A link as the user typed it: an existing file, a URL, or a web address
// without a scheme ("www.firm.ru").
QUrl linkUrl(const QString& link);
// "mailto:" with the address (it may carry a display name: "Name <a@b.ru>")
// and an optional subject and body, every part percent-encoded.
QUrl mailtoUrl(const QString& address, const QString& subject = {}, const QString& body = {});
// "tel:" with the number as dialled.
QUrl telUrl(const QString& number);
// What a message names for a URL the desktop could not open: a local file's
// path, a mail address as written ("Name <a@b.ru>", not percent-encoded), else
// the URL without its query.
QString urlDisplayText(const QUrl& url);

bool openLink(const QString& link, const OpenFailed& failed = {});
// A local file with its default program.
bool openDocument(const QString& fileName, const OpenFailed& failed = {});
bool dial(const QString& number, const OpenFailed& failed = {});
// The HTML help shipped next to the program.
QString helpFileName();
bool openHelp(const OpenFailed& failed = {});

} // namespace fw
