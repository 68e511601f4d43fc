// A stand-in for the accounting plug-in: records every call with its
// arguments, answers with the number a test set and writes the payment file a
// test gave. Tests steer it through the br1cDouble* functions.
#include "deals/BRplus1C.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {

std::string calls;          // one line per call: "Name(arg|arg|...)"
std::string docFile;        // the document file as it was when AddDoc or DocByDoc ran
std::string number = "0";   // what AddDoc and DocByDoc answer
int moneyResult = 1;
bool writeMoney = false;
std::string moneyFile;

std::string exchangeFile(const char* name)
{
    const char* dir = std::getenv("TMPDIR");
    std::string path(dir && *dir ? dir : "/tmp");
    return path.append("/").append(name);
}

std::string readFile(const std::string& path)
{
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
        std::fclose(f);
    } else {
        text = "<missing>";
    }
    return text;
}

// One line of the call log: "Name(arg|arg|...)".
void record(const char* name, std::initializer_list<std::string> args)
{
    calls.append(name).append("(");
    bool first = true;
    for (const std::string& a : args) {
        if (!first) calls.append("|");
        calls.append(a);
        first = false;
    }
    calls.append(")\n");
}

// Whatever the test set, however long: a plug-in that breaks the length
// contract is what the program must survive.
void answer(char* result)
{
    std::memcpy(result, number.c_str(), number.size() + 1);
}

} // namespace

extern "C" {

BR1C_EXPORT void AddDoc(int kind, char* result)
{
    record("AddDoc", {std::to_string(kind)});
    docFile = readFile(exchangeFile(BR1C_DOC_FILE));
    answer(result);
}

BR1C_EXPORT void OpenDocWindow(const char* number, int kind, const char* date)
{
    record("OpenDocWindow", {number, std::to_string(kind), date});
}

BR1C_EXPORT void DocByDoc(const char* number, int kind, const char* date, char* result)
{
    record("DocByDoc", {number, std::to_string(kind), date});
    docFile = readFile(exchangeFile(BR1C_DOC_FILE));   // it has none to read
    answer(result);
}

#ifndef BR1C_DOUBLE_WITHOUT_MONEYDOC
BR1C_EXPORT int MoneyDoc(const char* number, int kind, const char* date, const char* reserved)
{
    record("MoneyDoc", {number, std::to_string(kind), date, reserved});
    if (moneyResult && writeMoney) {
        if (FILE* f = std::fopen(exchangeFile(BR1C_MONEY_FILE).c_str(), "wb")) {
            std::fwrite(moneyFile.data(), 1, moneyFile.size(), f);
            std::fclose(f);
        }
    }
    return moneyResult;
}
#endif

BR1C_EXPORT void br1cDoubleReset()
{
    calls.clear();
    docFile.clear();
    number.assign(1, '0');
    moneyResult = 1;
    writeMoney = false;
    moneyFile.clear();
}

BR1C_EXPORT void br1cDoubleSetNumber(const char* text)
{
    number = text;
}

// result: what MoneyDoc returns; file: the payment file it writes (nullptr: none).
BR1C_EXPORT void br1cDoubleSetMoney(int result, const char* file)
{
    moneyResult = result;
    writeMoney = file != nullptr;
    moneyFile = file ? file : "";
}

BR1C_EXPORT const char* br1cDoubleCalls()
{
    return calls.c_str();
}

BR1C_EXPORT const char* br1cDoubleDocFile()
{
    return docFile.c_str();
}

} // extern "C"

// The double has the calling form the header gives.
[[maybe_unused]] static const BR1C_AddDoc checkAddDoc = &AddDoc;
[[maybe_unused]] static const BR1C_OpenDocWindow checkOpenDocWindow = &OpenDocWindow;
[[maybe_unused]] static const BR1C_DocByDoc checkDocByDoc = &DocByDoc;
#ifndef BR1C_DOUBLE_WITHOUT_MONEYDOC
[[maybe_unused]] static const BR1C_MoneyDoc checkMoneyDoc = &MoneyDoc;
#endif
