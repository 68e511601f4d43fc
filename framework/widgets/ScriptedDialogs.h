#pragma once

#include "Dialogs.h"

#include <QList>
#include <functional>
#include <optional>

namespace fw {

// The dialogs of a test, answered from a script. Every dialog shown is
// recorded; a dialog that the script does not expect next fails the running
// test through the failure handler and is answered No or Cancel, so nothing
// waits for a user. Installs itself for its lifetime.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        Kind kind;
        QString title;     // the caption, or the application title for a message box without one
        QString text;      // message text, prompt, the file dialog's initial file name, or the items one a line
    };
    using FailureHandler = std::function<void(const QString& message)>;

    ScriptedDialogs();
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;
    ~ScriptedDialogs() override;   // an expected dialog never shown is a failure too

    // The handler of every instance without one of its own (set once by a test main:
    // ADD_FAILURE for GoogleTest, QTest::qFail for QtTest). Without any, a failure is fatal.
    static void setDefaultFailureHandler(FailureHandler handler);
    void setFailureHandler(FailureHandler handler) { handler_ = std::move(handler); }

    // The script, in the order the dialogs are to appear. An empty text matches any text.
    ScriptedDialogs& expectInformation(const QString& text = {});
    ScriptedDialogs& expectWarning(const QString& text = {});
    ScriptedDialogs& expectError(const QString& text = {});
    ScriptedDialogs& expectConfirm(bool yes, const QString& text = {});
    // std::nullopt answers Cancel.
    ScriptedDialogs& expectInputQuery(std::optional<QString> answer, const QString& prompt = {});
    ScriptedDialogs& expectInputBox(std::optional<QString> answer, const QString& prompt = {});
    // No files answers Cancel; filterIndex 0 keeps the dialog's own.
    ScriptedDialogs& expectOpenFile(const QStringList& files, int filterIndex = 0);
    ScriptedDialogs& expectSaveFile(const QString& file, int filterIndex = 0);
    // -1 answers Cancel.
    ScriptedDialogs& expectPickItem(int index);

    const QList<Shown>& shown() const { return shown_; }
    qsizetype pending() const { return script_.size(); }

    void information(const QString& text, const QString& caption = {}) override;
    void warning(const QString& text, const QString& caption = {}) override;
    void error(const QString& text, const QString& caption = {}) override;
    bool confirm(const QString& text, const QString& caption = {}) override;
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    QString inputBox(const QString& caption, const QString& prompt, const QString& defaultValue) override;
    bool openFile(FileDialog& dialog) override;
    bool saveFile(FileDialog& dialog) override;
    bool pickItem(const QString& caption, const QStringList& items, int& index) override;

    static QString kindName(Kind kind);

private:
    struct Step {
        Kind kind;
        QString text;
        bool accept = false;
        QString value;
        QStringList files;
        int index = -1;
    };
    ScriptedDialogs& expect(Step step);
    // Records the dialog and takes the next step when it matches; nullopt otherwise.
    std::optional<Step> take(Kind kind, const QString& title, const QString& text);
    void fail(const QString& message) const;

    QList<Step> script_;
    QList<Shown> shown_;
    FailureHandler handler_;
    Dialogs* previous_;
};

} // namespace fw
