#include "VclUtils.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <functional>

#ifndef BRONTAL_VERSION
#define BRONTAL_VERSION "0.0.0.0"
#endif

int LargerOf(int a, int b) { return a > b ? a : b; }
int SmallerOf(int a, int b) { return a < b ? a : b; }
int WidthOfRect(const QRect& r) { return r.width(); }
int HeightOfRect(const QRect& r) { return r.height(); }

QString ShortenText(const QString& text, const QFontMetrics& fm, int maxWidth)
{
    if (fm.horizontalAdvance(text) <= maxWidth)
        return text;
    QString result = text;
    for (int i = 1; i <= text.size() && fm.horizontalAdvance(result) > maxWidth; ++i)
        result = text.left(std::max<int>(0, text.size() - i - 1)) + QStringLiteral("...");
    return result;
}

namespace {
QPixmap* g_shared = nullptr;
}

QPixmap* AcquireSharedBitmap()
{
    if (!g_shared) {
        g_shared = new QPixmap(1, 1);
        qAddPostRoutine(FreeSharedBitmap);
    }
    return g_shared;
}

void FreeSharedBitmap()
{
    delete g_shared;
    g_shared = nullptr;
}

QPixmap* SharedBitmap() { return g_shared; }

void CopyBitmapCell(const QPixmap* source, QPixmap* dest, int cols, int rows, int index)
{
    if (!source || !dest)
        return;
    cols = std::max(cols, 1);
    rows = std::max(rows, 1);
    index = std::max(index, 0);
    const int cw = source->width() / cols, ch = source->height() / rows;
    const int col = index % cols, row = index / cols;
    if (cw <= 0 || ch <= 0) {
        *dest = QPixmap();
        return;
    }
    *dest = source->copy(col * cw, row * ch, cw, ch);
}

void PaintParentBackground(QWidget* control, QPainter& painter)
{
    QWidget* parent = control ? control->parentWidget() : nullptr;
    if (!parent)
        return;
    painter.save();
    // The parent's own background, then each sibling below the control that overlaps it.
    parent->render(&painter, QPoint(0, 0), QRegion(control->geometry()),
                   QWidget::DrawWindowBackground);
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isWindow()) continue;
        if (w == control) break;
        if (w->isVisible() && w->geometry().intersects(control->geometry()))
            w->render(&painter, w->pos() - control->pos(), QRegion(),
                      QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    painter.restore();
}

QPixmap MakeEmbossedBitmap(const QPixmap& source, QColor outline, QColor back, bool drawHighlight,
                           QColor shadow, QColor highlight)
{
    QImage src = source.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage out(src.size(), QImage::Format_ARGB32);
    out.fill(back);
    // The mask: every pixel of the outline colour (and transparent ones) stays background;
    // the rest is the silhouette.
    const QRgb transparent = src.isNull() ? 0 : src.pixel(0, src.height() - 1);
    auto isInk = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= src.width() || y >= src.height()) return false;
        const QRgb p = src.pixel(x, y);
        if (qAlpha(p) < 128) return false;
        if ((p & 0xFFFFFF) == (transparent & 0xFFFFFF)) return false;
        // dark pixels draw, light ones (like the button face) do not
        return qGray(p) < 192 || (p & 0xFFFFFF) == (outline.rgb() & 0xFFFFFF);
    };
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            if (drawHighlight && isInk(x - 1, y - 1)) out.setPixel(x, y, highlight.rgb());
        }
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            if (isInk(x, y)) out.setPixel(x, y, shadow.rgb());
    return QPixmap::fromImage(out);
}

QPixmap MakeDisabledBitmap(const QPixmap& source, QColor outline)
{
    const QPalette pal = QApplication::palette();
    return MakeEmbossedBitmap(source, outline, pal.color(QPalette::Button), true,
                              pal.color(QPalette::Dark), pal.color(QPalette::Light));
}

void BeepDefault() { QApplication::beep(); }

void DiscardMessage(QObject* receiver, QEvent::Type type)
{
    QCoreApplication::removePostedEvents(receiver, type);
}

bool ActiveWindowIsOurs() { return QApplication::activeWindow() != nullptr; }

QString ResourceText(const QString& ident) { return ident; }

bool IsBlankText(const QString& s, const QSet<QChar>& chars)
{
    for (QChar c : s)
        if (!chars.contains(c)) return false;
    return true;
}

QString ReplaceText(const QString& s, const QString& search, const QString& replacement)
{
    if (search.isEmpty())
        return s;
    QString out;
    int i = 0;
    while (true) {
        const int j = s.indexOf(search, i);
        if (j < 0) break;
        out += s.mid(i, j - i) + replacement;
        i = j + search.size();
    }
    return out + s.mid(i);
}

QString DeleteChars(const QString& s, QChar c)
{
    QString out = s;
    out.remove(c);
    return out;
}

QString TrimLeadingBlanks(const QString& s)
{
    int i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    return s.mid(i);
}

QString TrimTrailingBlanks(const QString& s)
{
    int n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return s.left(n);
}

QString TrimBlanks(const QString& s) { return TrimTrailingBlanks(TrimLeadingBlanks(s)); }

QString RepeatChar(QChar c, int n) { return n <= 0 ? QString() : QString(n, c); }

int WordStart(int n, const QString& s, const QSet<QChar>& delims)
{
    int count = 0;
    int i = 0;
    while (i < s.size() && count < n) {
        while (i < s.size() && delims.contains(s[i])) ++i;
        if (i < s.size()) {
            ++count;
            if (count == n) return i + 1;
            while (i < s.size() && !delims.contains(s[i])) ++i;
        }
    }
    return 0;
}

QString NthWord(int n, const QString& s, const QSet<QChar>& delims)
{
    const int start = WordStart(n, s, delims);
    if (start == 0) return QString();
    int i = start - 1;
    QString out;
    while (i < s.size() && !delims.contains(s[i])) out += s[i++];
    return out;
}

QString GetTempDirectory()
{
    QString p = QDir::tempPath();
    if (!p.endsWith('/')) p += '/';
    return p;
}

QCursor ControlCursor(int id)
{
    if (id == crHandCursor) return QCursor(Qt::PointingHandCursor);
    if (id == crDragCursor) return QCursor(Qt::ClosedHandCursor);
    return QCursor(Qt::ArrowCursor);
}

QString IconClipboardFormat() { return QStringLiteral("application/x-brontal-icon"); }

// --- version information -------------------------------------------------

namespace {

TVersionInfo::BlockSource& blockSource()
{
    static TVersionInfo::BlockSource src;
    return src;
}

QString canonical(const QString& f)
{
    const QFileInfo fi(f);
    const QString c = fi.canonicalFilePath();
    return c.isEmpty() ? fi.absoluteFilePath() : c;
}

} // namespace

std::optional<TVersionBlock> TVersionInfo::ProgramBlock()
{
    const QStringList parts = QString::fromLatin1(BRONTAL_VERSION).split('.');
    quint32 v[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && i < parts.size(); ++i) v[i] = parts[i].toUInt() & 0xFFFF;
    TVersionBlock b;
    b.fixed.FileVersionMS = b.fixed.ProductVersionMS = (v[0] << 16) | v[1];
    b.fixed.FileVersionLS = b.fixed.ProductVersionLS = (v[2] << 16) | v[3];
    b.translation = std::make_pair(quint16(0x0419), quint16(1251));
    const QString text = QString::fromLatin1(BRONTAL_VERSION);
    b.strings = {{"CompanyName", "Tolmar"},
                 {"FileDescription", "Brontal"},
                 {"FileVersion", text},
                 {"ProductName", "Brontal"},
                 {"ProductVersion", text}};
    return b;
}

void TVersionInfo::SetBlockSource(BlockSource source) { blockSource() = std::move(source); }

TVersionInfo::TVersionInfo(const QString& fileName) : fileName_(fileName)
{
    if (blockSource()) {
        block_ = blockSource()(fileName);
    } else if (!fileName.isEmpty() && QCoreApplication::instance()
               && canonical(fileName) == canonical(QCoreApplication::applicationFilePath())) {
        block_ = ProgramBlock();
    }
    HasBlock = block_.has_value();
}

std::optional<std::pair<quint16, quint16>> TVersionInfo::FirstTranslation() const
{
    if (!HasBlock) return std::nullopt;
    return block_->translation;
}

QString TVersionInfo::TranslationHex() const
{
    const auto t = FirstTranslation();
    if (!t) return QString();
    return QStringLiteral("%1%2").arg(t->first, 4, 16, QChar('0')).arg(t->second, 4, 16, QChar('0')).toUpper();
}

std::optional<TVersionFixedInfo> TVersionInfo::FixedInfo() const
{
    if (!HasBlock) return std::nullopt;
    return block_->fixed;
}

std::pair<quint32, quint32> TVersionInfo::VersionPair() const
{
    const auto f = FixedInfo();
    if (!f) return {0, 0};
    return {f->FileVersionMS, f->FileVersionLS};
}

QString TVersionInfo::StringValue(const QString& name) const
{
    if (!HasBlock || TranslationHex().isEmpty()) return QString();
    for (const auto& [k, v] : block_->strings)
        if (k == name) return v;
    return QString();
}

QString FormatLongVersion(quint32 ms, quint32 ls)
{
    return QStringLiteral("%1.%2.%3.%4").arg(ms >> 16).arg(ms & 0xFFFF).arg(ls >> 16).arg(ls & 0xFFFF);
}

QString TVersionInfo::FileVersion() const
{
    QString s = StringValue(QStringLiteral("FileVersion"));
    if (s.isEmpty() && HasBlock) {
        const auto [ms, ls] = VersionPair();
        s = FormatLongVersion(ms, ls);
    }
    return s;
}
