#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace fw {

// The title of message boxes that are given no caption ("Brontal").
QString applicationTitle();
void setApplicationTitle(const QString& title);

// An open or save file dialog, in and out as the old common dialogs were.
struct FileDialog {
    QString caption;
    QString filter;          // "Text files|*.txt|All|*.*"
    int filterIndex = 1;     // from 1; on OK the entry the user chose
    QString defaultExt;      // "txt": added to a name typed without one
    QString fileName;        // initial name; on OK the first file chosen
    QString initialDir;
    bool multiSelect = false;
    bool overwritePrompt = false;
    QStringList files;       // on OK every file chosen
};

// How wide a window must be for the title bar to show its title whole: the
// text in a bold title font, with room for the icon and the window's buttons.
int windowTitleWidth(const QString& title);
// Widens a window (never past the screen) whose title its title bar would cut.
void fitWindowTitle(QWidget* window);
// From then on every dialog shown is widened as fitWindowTitle does.
void fitDialogTitles();

// The old "Text files|*.txt|All|*.*" filter as Qt's name filters
// ("Text files (*.txt)"). "*.*" becomes "*", so that names without a dot match.
QStringList qtNameFilters(const QString& filter);

// Every message box, question, input box and file dialog of the program goes
// through the installed implementation, so tests can answer them by script.
class Dialogs {
public:
    enum class Kind { Information, Warning, Error, Confirmation, InputQuery, InputBox, OpenFile, SaveFile, PickItem };

    virtual ~Dialogs() = default;

    virtual void information(const QString& text, const QString& caption = {}) = 0;
    virtual void warning(const QString& text, const QString& caption = {}) = 0;
    virtual void error(const QString& text, const QString& caption = {}) = 0;
    // Yes/No; true only for Yes.
    virtual bool confirm(const QString& text, const QString& caption = {}) = 0;
    // OK/Cancel; on OK value holds the text typed, on Cancel it is unchanged.
    virtual bool inputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
    // The text typed, or the default on Cancel.
    virtual QString inputBox(const QString& caption, const QString& prompt, const QString& defaultValue) = 0;
    virtual bool openFile(FileDialog& dialog) = 0;
    virtual bool saveFile(FileDialog& dialog) = 0;
    // Pick one of items; index is the preselected item (-1: none) and, on OK, the choice.
    virtual bool pickItem(const QString& caption, const QStringList& items, int& index) = 0;
};

// The installed implementation; the Qt one unless another was installed.
Dialogs& dialogs();
// Installs d (nullptr: the Qt one again); returns the one it replaces.
Dialogs* setDialogs(Dialogs* d);

// QMessageBox, QInputDialog and QFileDialog with the buttons a Russian desktop
// program shows, parented to the active window.
class QtDialogs : public Dialogs {
public:
    void information(const QString& text, const QString& caption = {}) override;
    void warning(const QString& text, const QString& caption = {}) override;
    void error(const QString& text, const QString& caption = {}) override;
    bool confirm(const QString& text, const QString& caption = {}) override;
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    QString inputBox(const QString& caption, const QString& prompt, const QString& defaultValue) override;
    bool openFile(FileDialog& dialog) override;
    bool saveFile(FileDialog& dialog) override;
    bool pickItem(const QString& caption, const QStringList& items, int& index) override;

    static QWidget* parentWindow();
};

} // namespace fw
