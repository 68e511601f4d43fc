#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QAction;

// The statements that move a duplicate client's history and plans, contacts,
// goods, deals, orders and contracts to another client.
QStringList MergeStatements(int target, int source);
// Runs them in one transaction on the main connection: all move, or nothing
// does and the error names the statement that failed.
void MergeClients(int target, int source);
// The caption of "Откуда" once a source is remembered; a long name is cut.
QString MergeSourceCaption(const QString& company);
// A client as the merge question names it: the name, then the city and the key
// that tell two clients of one name apart.
QString MergeClientText(const QString& company, const QString& city, int idCust);
// The question of "Куда".
QString MergeQuestion(const QString& source, const QString& target);

// The menu "Объединение": "Откуда" remembers the current client as the
// duplicate, "Куда" moves its records to the current client.
class TKlientMerge : public QObject {
    Q_OBJECT
public:
    TKlientMerge(QAction* fromItem, QObject* parent = nullptr);

    int SourceId = 0;
    QString SourceName;
    QString SourceCity;
    // The window's closing and reopening of the card's details.
    std::function<void()> CloseDetails;
    std::function<void()> OpenDetails;

    void FromClick();
    void ToClick();

private:
    QAction* from_;
};
