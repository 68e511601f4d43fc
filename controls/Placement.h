#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QWidget>
#include <functional>
#include <memory>

class TFormPlacement;

// Default names of the storage.
QString DefaultSectionOf(const QObject* component);
QString DefaultIniFileName();
QString DefaultRegistryKey();

// Access to an open store; with no store reads give the default and writes do nothing.
// In an ini file a text that begins and ends with the same quote is written inside one
// more pair of double quotes, because reading takes one pair off.
QString IniGetText(QSettings* ini, const QString& section, const QString& ident, const QString& def);
void IniPutText(QSettings* ini, const QString& section, const QString& ident, const QString& value);
int IniGetInteger(QSettings* ini, const QString& section, const QString& ident, int def);
void IniPutInteger(QSettings* ini, const QString& section, const QString& ident, int value);
QString ScreenSuffix();
QString ReadScreenKey(QSettings* ini, const QString& section, const QString& ident);
void WriteScreenKey(QSettings* ini, const QString& section, const QString& ident, const QString& value);
void WriteWindowPlacement(QWidget* form, QSettings* ini, const QString& section, bool destroying = false);
void ReadWindowPlacement(QWidget* form, QSettings* ini, const QString& section, bool loadState,
                         bool loadPosition);
// The program's main window for the placement rules (none by default).
void SetPlacementMainForm(QWidget* form);
QWidget* PlacementMainForm();

struct TWinMinMaxInfo {
    int MaxPosLeft = 0, MaxPosTop = 0, MaxSizeHeight = 0, MaxSizeWidth = 0;
    int MaxTrackHeight = 0, MaxTrackWidth = 0, MinTrackHeight = 0, MinTrackWidth = 0;
    bool DefaultMinMaxInfo() const
    {
        return !MaxPosLeft && !MaxPosTop && !MaxSizeHeight && !MaxSizeWidth && !MaxTrackHeight
            && !MaxTrackWidth && !MinTrackHeight && !MinTrackWidth;
    }
};

// Lets others keep their settings in a placement's store.
class TIniLink : public QObject {
    Q_OBJECT
public:
    explicit TIniLink(QObject* parent = nullptr) : QObject(parent) {}
    ~TIniLink() override;
    TFormPlacement* Storage() const { return storage_; }
    void SetStorage(TFormPlacement* p);
    QSettings* OpenStore() const;
    QString BaseSection() const;
    virtual void SaveToIni() { if (OnSave) OnSave(); }
    virtual void LoadFromIni() { if (OnLoad) OnLoad(); }
    std::function<void()> OnSave;
    std::function<void()> OnLoad;
private:
    QPointer<TFormPlacement> storage_;
};

// Sees a widget's events before and after the widget itself; the hooks of one widget
// share one event filter.
class TBrWindowHook : public QObject {
    Q_OBJECT
public:
    explicit TBrWindowHook(QObject* owner = nullptr);
    ~TBrWindowHook() override;
    bool Active() const { return active_; }
    void SetActive(bool v);
    QWidget* WinControl() const { return control_; }
    void SetWinControl(QWidget* w);
    using MessageEvent = std::function<void(TBrWindowHook* sender, QEvent* event, bool& handled)>;
    MessageEvent BeforeMessage;
    MessageEvent AfterMessage;
private:
    void hook();
    void unhook();
    bool active_ = true;
    QPointer<QWidget> control_;
};

enum TPlacementOption { fpState = 1, fpPosition = 2, fpActiveControl = 4 };
enum TPlacementRegRoot { prCurrentUser, prLocalMachine, prCurrentConfig, prClassesRoot, prUsers, prDynData };

class TFormPlacement : public QObject {
    Q_OBJECT
public:
    explicit TFormPlacement(QWidget* form);
    ~TFormPlacement() override;

    bool Active = true;
    QString IniFileName;
    QString IniSection;
    TWinMinMaxInfo MinMaxInfo;
    int Options = 0;
    bool PreventResize() const { return preventResize_; }
    void SetPreventResize(bool v);
    TPlacementRegRoot RegistryRoot = prCurrentUser;
    bool UseRegistry = false;
    int Version = 0;
    std::function<void()> OnSavePlacement;
    std::function<void()> OnRestorePlacement;

    void StorePlacement();
    void LoadPlacement();
    int GetStoredInteger(const QString& ident, int def);
    void PutStoredInteger(const QString& ident, int value);
    virtual QString GetStoredText(const QString& ident, const QString& def);
    virtual void PutStoredText(const QString& ident, const QString& value);
    void ApplyMinMaxInfo();

    QSettings* IniObject() const { return ini_.get(); }
    QString Section() const { return IniSection.isEmpty() ? DefaultSectionOf(form_) : IniSection; }
    QWidget* Form() const { return form_; }
    bool RestoreDone() const { return restored_; }

protected:
    virtual void WritePlacementData();
    virtual void ReadPlacementData();
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    friend class TIniLink;
    bool openIni(bool readOnly);
    void closeIni();
    QPointer<QWidget> form_;
    std::unique_ptr<QSettings> ini_;
    QList<TIniLink*> links_;
    bool preventResize_ = false;
    bool restored_ = false;
    bool saved_ = false;
    bool destroying_ = false;
    TBrWindowHook* hook_ = nullptr;
};
