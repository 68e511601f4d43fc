#pragma once

#include <QColor>
#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QPixmap>
#include <QRect>
#include <QSet>
#include <QString>
#include <optional>
#include <stdexcept>
#include <utility>

class QPainter;
class QWidget;

// Errors the controls raise; what() is the UTF-8 text of message().
class EControlError : public std::runtime_error {
public:
    explicit EControlError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }
private:
    QString message_;
};
// A text that is no valid date or number.
class EConvertError : public EControlError { using EControlError::EControlError; };
// A value outside the bounds of a number edit.
class ERangeError : public EControlError { using EControlError::EControlError; };

int LargerOf(int a, int b);
int SmallerOf(int a, int b);
int WidthOfRect(const QRect& r);
int HeightOfRect(const QRect& r);

// The text itself when it fits MaxWidth; else the text shortened from the right
// with "..." until it fits (down to "..." alone).
QString ShortenText(const QString& text, const QFontMetrics& fm, int maxWidth);

// One off-screen bitmap shared by the whole program.
QPixmap* AcquireSharedBitmap();
void FreeSharedBitmap();
QPixmap* SharedBitmap();   // null when none

// Cuts cell Index of a Cols x Rows bitmap into Dest.
void CopyBitmapCell(const QPixmap* source, QPixmap* dest, int cols, int rows, int index);
// Draws what lies under Control in its parent (the parent and the siblings before it).
void PaintParentBackground(QWidget* control, QPainter& painter);
// Embossed (disabled-look) image of Source.
QPixmap MakeEmbossedBitmap(const QPixmap& source, QColor outline, QColor back, bool drawHighlight,
                           QColor shadow, QColor highlight);
QPixmap MakeDisabledBitmap(const QPixmap& source, QColor outline);

void BeepDefault();
// Removes one pending posted event of that type for the receiver.
void DiscardMessage(QObject* receiver, QEvent::Type type);
bool ActiveWindowIsOurs();
QString ResourceText(const QString& ident);

bool IsBlankText(const QString& s, const QSet<QChar>& chars);
QString ReplaceText(const QString& s, const QString& search, const QString& replacement);
QString DeleteChars(const QString& s, QChar c);
QString TrimLeadingBlanks(const QString& s);
QString TrimTrailingBlanks(const QString& s);
QString TrimBlanks(const QString& s);
QString RepeatChar(QChar c, int n);
int WordStart(int n, const QString& s, const QSet<QChar>& delims);   // 1-based, 0 when none
QString NthWord(int n, const QString& s, const QSet<QChar>& delims);
QString GetTempDirectory();   // with a trailing "/"

// Cursors and the icon clipboard format registered at start.
constexpr int crHandCursor = 14000;
constexpr int crDragCursor = 14001;
QCursor ControlCursor(int id);
QString IconClipboardFormat();

// The version block of an executable file. The program's own file carries the
// project version; any other file has no block.
struct TVersionFixedInfo {
    quint32 FileVersionMS = 0, FileVersionLS = 0;
    quint32 ProductVersionMS = 0, ProductVersionLS = 0;
};
struct TVersionBlock {
    TVersionFixedInfo fixed;
    std::optional<std::pair<quint16, quint16>> translation;   // language, code page
    QList<std::pair<QString, QString>> strings;               // name, value
};

class TVersionInfo {
public:
    explicit TVersionInfo(const QString& fileName);
    bool Valid() const { return HasBlock; }
    std::optional<std::pair<quint16, quint16>> FirstTranslation() const;
    QString TranslationHex() const;
    std::optional<TVersionFixedInfo> FixedInfo() const;
    std::pair<quint32, quint32> VersionPair() const;
    QString StringValue(const QString& name) const;
    QString FileVersion() const;
    const QString& FileName() const { return fileName_; }

    // Where blocks come from (tests put their own in place); empty restores the default.
    using BlockSource = std::function<std::optional<TVersionBlock>(const QString& fileName)>;
    static void SetBlockSource(BlockSource source);
    static std::optional<TVersionBlock> ProgramBlock();

private:
    QString fileName_;
    std::optional<TVersionBlock> block_;
    bool HasBlock = false;
};

QString FormatLongVersion(quint32 ms, quint32 ls);
