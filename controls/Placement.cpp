#include "Placement.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>

// --- names ------------------------------------------------------------------

QString DefaultSectionOf(const QObject* component)
{
    if (!component) return QString();
    if (auto* w = qobject_cast<const QWidget*>(component)) {
        if (w->isWindow()) return QString::fromLatin1(w->metaObject()->className());
        const QWidget* form = w->window();
        if (form && form != w) return QString::fromLatin1(form->metaObject()->className()) + w->objectName();
        if (w->parentWidget()) return w->parentWidget()->objectName() + w->objectName();
        return w->objectName();
    }
    if (auto* owner = qobject_cast<const QWidget*>(component->parent()); owner && owner->isWindow())
        return QStringLiteral("%1.%2").arg(QString::fromLatin1(owner->metaObject()->className()),
                                           component->objectName());
    return component->objectName();
}

QString DefaultIniFileName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral(".INI");
}

QString DefaultRegistryKey()
{
    return QStringLiteral("Software\\") + QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

// --- store access -------------------------------------------------------------

namespace {

QString keyOf(const QString& section, const QString& ident)
{
    QString s = section;
    s.replace('\\', '/');
    return s.isEmpty() ? ident : s + '/' + ident;
}

bool isIniFile(QSettings* ini) { return ini && ini->format() == QSettings::IniFormat; }

bool quoted(const QString& v)
{
    return v.size() >= 2 && ((v.startsWith('"') && v.endsWith('"')) || (v.startsWith('\'') && v.endsWith('\'')));
}

QWidget*& mainForm()
{
    static QWidget* f = nullptr;
    return f;
}

QList<int> fourInts(const QString& s, const QList<int>& defaults)
{
    const QStringList parts = s.split(QRegularExpression(QStringLiteral("[ ,]+")), Qt::SkipEmptyParts);
    QList<int> out = defaults;
    for (int i = 0; i < 4 && i < parts.size(); ++i) {
        bool ok = false;
        const int v = parts[i].toInt(&ok);
        out[i] = ok ? v : 0;
    }
    return out;
}

int screenDpi()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? qRound(s->logicalDotsPerInch()) : 96;
}

} // namespace

void SetPlacementMainForm(QWidget* form) { mainForm() = form; }
QWidget* PlacementMainForm() { return mainForm(); }

QString IniGetText(QSettings* ini, const QString& section, const QString& ident, const QString& def)
{
    if (!ini) return def;
    const QVariant v = ini->value(keyOf(section, ident));
    if (!v.isValid()) return def;
    QString s = v.toString();
    if (isIniFile(ini) && quoted(s)) s = s.mid(1, s.size() - 2);
    return s;
}

void IniPutText(QSettings* ini, const QString& section, const QString& ident, const QString& value)
{
    if (!ini) return;
    QString v = value;
    if (isIniFile(ini) && quoted(v)) v = '"' + v + '"';
    ini->setValue(keyOf(section, ident), v);
}

int IniGetInteger(QSettings* ini, const QString& section, const QString& ident, int def)
{
    if (!ini) return def;
    bool ok = false;
    const int v = IniGetText(ini, section, ident, QString()).toInt(&ok);
    return ok ? v : def;
}

void IniPutInteger(QSettings* ini, const QString& section, const QString& ident, int value)
{
    if (ini) ini->setValue(keyOf(section, ident), QString::number(value));
}

QString ScreenSuffix()
{
    QScreen* s = QGuiApplication::primaryScreen();
    const QSize sz = s ? s->size() : QSize(0, 0);
    return QStringLiteral("(%1x%2)").arg(sz.width()).arg(sz.height());
}

QString ReadScreenKey(QSettings* ini, const QString& section, const QString& ident)
{
    QString v = IniGetText(ini, section, ident + ScreenSuffix(), QString());
    if (v.isEmpty()) v = IniGetText(ini, section, ident, QString());
    return v;
}

void WriteScreenKey(QSettings* ini, const QString& section, const QString& ident, const QString& value)
{
    IniPutText(ini, section, ident + ScreenSuffix(), value);
    IniPutText(ini, section, ident, value);
}

void WriteWindowPlacement(QWidget* form, QSettings* ini, const QString& section, bool destroying)
{
    if (!form || !ini) return;
    const bool mdiChild = qobject_cast<QMdiSubWindow*>(form->parentWidget()) != nullptr;
    int showCmd = !form->isVisible() ? 0 : form->isMinimized() ? 2 : form->isMaximized() ? 3 : 1;
    if (form == mainForm() && form->isMinimized()) showCmd = 2;
    IniPutInteger(ini, section, "Flags", mdiChild && form->isMinimized() ? 1 : 0);
    IniPutInteger(ini, section, "ShowCmd", showCmd);
    IniPutInteger(ini, section, "PixelsPerInch", screenDpi());
    WriteScreenKey(ini, section, "MinMaxPos", QStringLiteral("%1,%2,%3,%4").arg(-1).arg(-1).arg(-1).arg(-1));
    QRect n = form->isVisible() && (form->isMaximized() || form->isMinimized()) ? form->normalGeometry()
                                                                                  : form->geometry();
    if (n.isEmpty()) n = form->geometry();
    WriteScreenKey(ini, section, "NormPos",
                   QStringLiteral("%1,%2,%3,%4").arg(n.left()).arg(n.top()).arg(n.left() + n.width())
                       .arg(n.top() + n.height()));
    IniPutInteger(ini, section, "Visible", destroying ? 1 : 0);
}

void ReadWindowPlacement(QWidget* form, QSettings* ini, const QString& section, bool loadState,
                         bool loadPosition)
{
    if (!form || !ini || !(loadState || loadPosition)) return;
    if (loadPosition) {
        const QString minMax = ReadScreenKey(ini, section, "MinMaxPos");
        const QString norm = ReadScreenKey(ini, section, "NormPos");
        const QRect g = form->geometry();
        QList<int> r = fourInts(norm, {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
        if ((!minMax.isEmpty() || !norm.isEmpty())
            && IniGetInteger(ini, section, "PixelsPerInch", 0) == screenDpi()) {
            const bool fixedSize = form->minimumSize() == form->maximumSize();
            if (fixedSize) {
                r[2] = r[0] + form->width();
                r[3] = r[1] + form->height();
            }
            if (r[0] < r[2]) form->setGeometry(r[0], r[1], r[2] - r[0], r[3] - r[1]);
        }
    }
    if (loadState) {
        const bool isMain = !mainForm() || form == mainForm();
        auto* mw = qobject_cast<QMainWindow*>(form);
        const bool mdiParent = mw && qobject_cast<QMdiArea*>(mw->centralWidget());
        Qt::WindowState state = isMain && mdiParent ? Qt::WindowMaximized : Qt::WindowNoState;
        switch (IniGetInteger(ini, section, "ShowCmd", -1)) {
        case 1: case 5: case 9: state = Qt::WindowNoState; break;
        case 2: case 6: case 7: state = Qt::WindowMinimized; break;
        case 3: state = Qt::WindowMaximized; break;
        default: break;
        }
        if (state == Qt::WindowMinimized && isMain) {
            form->setWindowState(Qt::WindowNoState);
            form->showMinimized();
            return;
        }
        form->setWindowState(state);
    }
    form->update();
}

// --- links --------------------------------------------------------------------

TIniLink::~TIniLink() { SetStorage(nullptr); }

void TIniLink::SetStorage(TFormPlacement* p)
{
    if (storage_ == p) return;
    if (storage_) storage_->links_.removeAll(this);
    storage_ = p;
    if (p) p->links_.append(this);
}

QSettings* TIniLink::OpenStore() const { return storage_ ? storage_->IniObject() : nullptr; }

QString TIniLink::BaseSection() const
{
    if (!storage_) return QString();
    const QString s = storage_->IniSection;
    return s.isEmpty() ? s : s + '\\';
}

// --- window hooks ----------------------------------------------------------------

namespace {

// One event filter per hooked widget, shared by its hooks.
class TControlHook : public QObject {
public:
    explicit TControlHook(QWidget* control) : control_(control) { control->installEventFilter(this); }
    ~TControlHook() override
    {
        if (control_) control_->removeEventFilter(this);
    }
    QList<TBrWindowHook*> hooks;

    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o != control_ || hooks.isEmpty() || inside_) return false;
        if (e->type() == QEvent::Quit) return false;
        const QList<QPointer<TBrWindowHook>> list(hooks.begin(), hooks.end());
        bool handled = false;
        for (int i = list.size() - 1; i >= 0 && !handled; --i)
            if (list[i] && list[i]->Active() && list[i]->BeforeMessage) list[i]->BeforeMessage(list[i], e, handled);
        if (handled) return true;
        // The widget's own handling, then the after handlers: the event is fully handled here.
        inside_ = true;
        const bool res = static_cast<QObject*>(control_.data())->event(e);
        inside_ = false;
        bool afterHandled = false;
        for (int i = list.size() - 1; i >= 0 && !afterHandled; --i)
            if (list[i] && list[i]->Active() && list[i]->AfterMessage) list[i]->AfterMessage(list[i], e, afterHandled);
        Q_UNUSED(res);
        return true;
    }

private:
    QPointer<QWidget> control_;
    bool inside_ = false;
};

QHash<QWidget*, TControlHook*>& hookList()
{
    static QHash<QWidget*, TControlHook*> list;
    return list;
}

} // namespace

TBrWindowHook::TBrWindowHook(QObject* owner) : QObject(owner) {}

TBrWindowHook::~TBrWindowHook() { unhook(); }

void TBrWindowHook::SetActive(bool v)
{
    active_ = v;
    if (v) hook(); else unhook();
}

void TBrWindowHook::SetWinControl(QWidget* w)
{
    if (w == control_) return;
    unhook();
    control_ = w;
    if (active_) hook();
}

void TBrWindowHook::hook()
{
    if (!control_) return;
    TControlHook*& ch = hookList()[control_.data()];
    if (!ch) {
        ch = new TControlHook(control_);
        QWidget* key = control_.data();
        QObject::connect(control_, &QObject::destroyed, [key] {
            if (TControlHook* h = hookList().take(key)) delete h;
        });
    }
    if (!ch->hooks.contains(this)) ch->hooks.append(this);
}

void TBrWindowHook::unhook()
{
    if (!control_) return;
    auto it = hookList().find(control_.data());
    if (it == hookList().end()) return;
    it.value()->hooks.removeAll(this);
    if (it.value()->hooks.isEmpty()) {
        delete it.value();
        hookList().erase(it);
    }
}

// --- TFormPlacement ---------------------------------------------------------------

TFormPlacement::TFormPlacement(QWidget* form) : QObject(form), form_(form)
{
    if (form && form->isWindow()) Options = fpState | fpPosition;
    hook_ = new TBrWindowHook(this);
    hook_->AfterMessage = [this](TBrWindowHook*, QEvent* e, bool&) {
        if (!form_) return;
        if (e->type() == QEvent::Show && !restored_) {
            if (Active) LoadPlacement();
            ApplyMinMaxInfo();
        } else if (e->type() == QEvent::Close && e->isAccepted() && Active) {
            StorePlacement();
        }
    };
    hook_->SetWinControl(form);
}

TFormPlacement::~TFormPlacement()
{
    if (form_ && Active && !saved_ && restored_) {
        destroying_ = true;
        StorePlacement();
    }
    closeIni();
}

bool TFormPlacement::openIni(bool readOnly)
{
    if (ini_) return false;
    if (UseRegistry) {
        QString key = IniFileName.isEmpty() ? DefaultRegistryKey() : IniFileName;
        if (key.startsWith(QStringLiteral("Software\\"), Qt::CaseInsensitive)) key = key.mid(9);
        QStringList parts = key.split('\\', Qt::SkipEmptyParts);
        const QString org = parts.value(0, QStringLiteral("Brontal"));
        const QString app = parts.mid(1).join('/');
        const auto scope = RegistryRoot == prLocalMachine ? QSettings::SystemScope : QSettings::UserScope;
        ini_ = std::make_unique<QSettings>(QSettings::NativeFormat, scope, org, app);
    } else {
        QString name = IniFileName.isEmpty() ? DefaultIniFileName() : IniFileName;
        if (QFileInfo(name).isRelative())
            name = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + '/' + name;
        ini_ = std::make_unique<QSettings>(name, QSettings::IniFormat);
    }
    Q_UNUSED(readOnly);
    return true;
}

void TFormPlacement::closeIni()
{
    if (ini_) ini_->sync();
    ini_.reset();
}

QString TFormPlacement::GetStoredText(const QString& ident, const QString& def)
{
    const bool opened = openIni(true);
    const QString v = IniGetText(ini_.get(), Section(), ident, def);
    if (opened) closeIni();
    return v;
}

void TFormPlacement::PutStoredText(const QString& ident, const QString& value)
{
    const bool opened = openIni(false);
    IniPutText(ini_.get(), Section(), ident, value);
    if (opened) closeIni();
}

int TFormPlacement::GetStoredInteger(const QString& ident, int def)
{
    bool ok = false;
    const int v = GetStoredText(ident, QString()).toInt(&ok);
    return ok ? v : def;
}

void TFormPlacement::PutStoredInteger(const QString& ident, int value)
{
    PutStoredText(ident, QString::number(value));
}

void TFormPlacement::WritePlacementData()
{
    if (Options & (fpState | fpPosition)) WriteWindowPlacement(form_, ini_.get(), Section(), destroying_);
    if ((Options & fpActiveControl) && form_ && form_->focusWidget())
        IniPutText(ini_.get(), Section(), "ActiveControl", form_->focusWidget()->objectName());
}

void TFormPlacement::ReadPlacementData()
{
    ReadWindowPlacement(form_, ini_.get(), Section(), Options & fpState, Options & fpPosition);
}

void TFormPlacement::StorePlacement()
{
    if (Active && !restored_) return;
    openIni(false);
    struct Close { TFormPlacement* p; ~Close() { p->closeIni(); } } closer{this};
    IniPutInteger(ini_.get(), Section(), "FormVersion", Version);
    WritePlacementData();
    for (TIniLink* l : QList<TIniLink*>(links_)) l->SaveToIni();
    if (OnSavePlacement) OnSavePlacement();
    saved_ = true;
}

void TFormPlacement::LoadPlacement()
{
    saved_ = false;
    openIni(true);
    struct Close { TFormPlacement* p; ~Close() { p->closeIni(); } } closer{this};
    if (IniGetInteger(ini_.get(), Section(), "FormVersion", 0) >= Version) {
        ReadPlacementData();
        for (TIniLink* l : QList<TIniLink*>(links_)) l->LoadFromIni();
        restored_ = true;
        if (OnRestorePlacement) OnRestorePlacement();
        if ((Options & fpActiveControl) && form_) {
            const QString name = IniGetText(ini_.get(), Section(), "ActiveControl", QString());
            if (!name.isEmpty())
                if (auto* w = form_->findChild<QWidget*>(name); w && w->focusPolicy() != Qt::NoFocus && w->isEnabled())
                    w->setFocus();
        }
    }
    restored_ = true;
}

void TFormPlacement::SetPreventResize(bool v)
{
    preventResize_ = v;
    ApplyMinMaxInfo();
}

void TFormPlacement::ApplyMinMaxInfo()
{
    if (!form_) return;
    if (preventResize_) {
        form_->setFixedSize(form_->size());
        form_->setWindowFlag(Qt::WindowMaximizeButtonHint, false);
        return;
    }
    const TWinMinMaxInfo& m = MinMaxInfo;
    if (m.DefaultMinMaxInfo()) return;
    if (m.MinTrackWidth || m.MinTrackHeight)
        form_->setMinimumSize(m.MinTrackWidth ? m.MinTrackWidth : form_->minimumWidth(),
                              m.MinTrackHeight ? m.MinTrackHeight : form_->minimumHeight());
    if (m.MaxTrackWidth || m.MaxTrackHeight)
        form_->setMaximumSize(m.MaxTrackWidth ? m.MaxTrackWidth : form_->maximumWidth(),
                              m.MaxTrackHeight ? m.MaxTrackHeight : form_->maximumHeight());
}

bool TFormPlacement::eventFilter(QObject* o, QEvent* e) { return QObject::eventFilter(o, e); }
