#include "ScriptedDialogs.h"

#include <QtGlobal>

namespace fw {

namespace {
ScriptedDialogs::FailureHandler& defaultHandler()
{
    static ScriptedDialogs::FailureHandler h;
    return h;
}
} // namespace

ScriptedDialogs::ScriptedDialogs() : previous_(setDialogs(this)) {}

ScriptedDialogs::~ScriptedDialogs()
{
    setDialogs(previous_);
    for (const Step& s : script_)
        fail(QString("Expected dialog never shown: %1 \"%2\"").arg(kindName(s.kind), s.text));
}

void ScriptedDialogs::setDefaultFailureHandler(FailureHandler handler)
{
    defaultHandler() = std::move(handler);
}

QString ScriptedDialogs::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Information: return "information";
    case Kind::Warning: return "warning";
    case Kind::Error: return "error";
    case Kind::Confirmation: return "confirmation";
    case Kind::InputQuery: return "input query";
    case Kind::InputBox: return "input box";
    case Kind::OpenFile: return "open file";
    case Kind::SaveFile: return "save file";
    case Kind::PickItem: return "pick item";
    }
    return "dialog";
}

void ScriptedDialogs::fail(const QString& message) const
{
    if (handler_)
        handler_(message);
    else if (defaultHandler())
        defaultHandler()(message);
    else   // no test may pass silently over a dialog it did not expect
        qFatal("ScriptedDialogs without a failure handler: %s", qPrintable(message));
}

ScriptedDialogs& ScriptedDialogs::expect(Step step)
{
    script_.append(std::move(step));
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectInformation(const QString& text)
{
    return expect({Kind::Information, text, true});
}

ScriptedDialogs& ScriptedDialogs::expectWarning(const QString& text)
{
    return expect({Kind::Warning, text, true});
}

ScriptedDialogs& ScriptedDialogs::expectError(const QString& text)
{
    return expect({Kind::Error, text, true});
}

ScriptedDialogs& ScriptedDialogs::expectConfirm(bool yes, const QString& text)
{
    return expect({Kind::Confirmation, text, yes});
}

ScriptedDialogs& ScriptedDialogs::expectInputQuery(std::optional<QString> answer, const QString& prompt)
{
    return expect({Kind::InputQuery, prompt, answer.has_value(), answer.value_or(QString())});
}

ScriptedDialogs& ScriptedDialogs::expectInputBox(std::optional<QString> answer, const QString& prompt)
{
    return expect({Kind::InputBox, prompt, answer.has_value(), answer.value_or(QString())});
}

ScriptedDialogs& ScriptedDialogs::expectOpenFile(const QStringList& files, int filterIndex)
{
    return expect({Kind::OpenFile, {}, !files.isEmpty(), {}, files, filterIndex});
}

ScriptedDialogs& ScriptedDialogs::expectSaveFile(const QString& file, int filterIndex)
{
    return expect({Kind::SaveFile, {}, !file.isEmpty(), {}, file.isEmpty() ? QStringList{} : QStringList{file},
                   filterIndex});
}

ScriptedDialogs& ScriptedDialogs::expectPickItem(int index)
{
    return expect({Kind::PickItem, {}, index >= 0, {}, {}, index});
}

std::optional<ScriptedDialogs::Step> ScriptedDialogs::take(Kind kind, const QString& title, const QString& text)
{
    shown_.append({kind, title, text});
    if (script_.isEmpty()) {
        fail(QString("Unexpected %1 \"%2\": \"%3\"").arg(kindName(kind), title, text));
        return std::nullopt;
    }
    const Step& next = script_.first();
    if (next.kind != kind || (!next.text.isEmpty() && next.text != text)) {
        fail(QString("Unexpected %1 \"%2\": \"%3\"; the script expects %4 \"%5\"")
                 .arg(kindName(kind), title, text, kindName(next.kind), next.text));
        return std::nullopt;
    }
    return script_.takeFirst();
}

void ScriptedDialogs::information(const QString& text, const QString& caption)
{
    take(Kind::Information, caption.isEmpty() ? applicationTitle() : caption, text);
}

void ScriptedDialogs::warning(const QString& text, const QString& caption)
{
    take(Kind::Warning, caption.isEmpty() ? applicationTitle() : caption, text);
}

void ScriptedDialogs::error(const QString& text, const QString& caption)
{
    take(Kind::Error, caption.isEmpty() ? applicationTitle() : caption, text);
}

bool ScriptedDialogs::confirm(const QString& text, const QString& caption)
{
    const auto step = take(Kind::Confirmation, caption.isEmpty() ? applicationTitle() : caption, text);
    return step && step->accept;
}

bool ScriptedDialogs::inputQuery(const QString& caption, const QString& prompt, QString& value)
{
    const auto step = take(Kind::InputQuery, caption, prompt);
    if (!step || !step->accept)
        return false;
    value = step->value;
    return true;
}

QString ScriptedDialogs::inputBox(const QString& caption, const QString& prompt, const QString& defaultValue)
{
    const auto step = take(Kind::InputBox, caption, prompt);
    return step && step->accept ? step->value : defaultValue;
}

bool ScriptedDialogs::openFile(FileDialog& dialog)
{
    const auto step = take(Kind::OpenFile, dialog.caption, dialog.fileName);
    if (!step || !step->accept)
        return false;
    dialog.files = dialog.multiSelect ? step->files : step->files.mid(0, 1);
    dialog.fileName = dialog.files.first();
    if (step->index > 0)
        dialog.filterIndex = step->index;
    return true;
}

bool ScriptedDialogs::saveFile(FileDialog& dialog)
{
    const auto step = take(Kind::SaveFile, dialog.caption, dialog.fileName);
    if (!step || !step->accept)
        return false;
    dialog.files = step->files;
    dialog.fileName = dialog.files.first();
    if (step->index > 0)
        dialog.filterIndex = step->index;
    return true;
}

bool ScriptedDialogs::pickItem(const QString& caption, const QStringList& items, int& index)
{
    const auto step = take(Kind::PickItem, caption, items.join('\n'));
    if (!step || !step->accept)
        return false;
    if (step->index >= items.size()) {
        fail(QString("The script picks item %1 of %2 in \"%3\"").arg(step->index).arg(items.size()).arg(caption));
        return false;
    }
    index = step->index;
    return true;
}

} // namespace fw
